#!/bin/sh
# Every picture README.md shows is a PNG file of the tree, and every picture in docs/images/ is
# shown there. Prints each fault; exits 1 when there is one. Run by ctest.
cd "${1:-$(dirname "$0")/../..}" || exit 1
status=0
links=$(grep -oE '!\[[^]]*\]\([^)]+\)' README.md | sed -E 's/.*\(([^) ]+).*/\1/')
[ -n "$links" ] || { echo "README.md shows no picture"; exit 1; }
for link in $links; do
    signature=$(head -c 8 "$link" 2>/dev/null | od -An -tx1 | tr -d ' \n')
    [ "$signature" = 89504e470d0a1a0a ] || { echo "README.md shows $link: no such PNG"; status=1; }
done
for picture in docs/images/*.png; do
    [ -e "$picture" ] || continue
    printf '%s\n' "$links" | grep -qxF "$picture" || { echo "README.md does not show $picture"; status=1; }
done
exit $status
