// mq6's usage errors, whatever the command: each message whole with its exit status, and
// nothing sent to the unit (mq6-sim) for a usage error.
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

// Every usage error with its whole message and status: "mq6: ", the reason and, for status 2,
// the help line of the command the words before the options name; a usage error sends nothing.
// FILE is bad.json, written with the row's text. A port that does not open is told why, with
// where to look further.
TEST(UsageCliTest, UsageErrorsNameTheOptionWhatWasGivenAndWhatItTakes) {
    TempDir dir;
    SimProcess sim = StartSim({"--log", dir.File("log")});
    const std::string pair =
        " is not V,AFR; it takes volts and AFR with a comma between, as 0.5,10.5";
    const std::string whole = "; it takes a whole number from ",
                      number = "; it takes a number from ";
    const std::string from = "setup write --yes --from FILE";
    const std::string doctor =
        "\nmq6: run mq6 doctor for a report on the port, the adapter and the link";
    const struct {
        std::string command, reason, file = "";
        int status = 2;
    } rows[] = {
        {"bogus", "unknown command 'bogus'"},
        {"info --port " + std::string(256, 'X'), "--port: the port name is too long"},
        {"setup defaults", "unknown action 'defaults'"},
        {"live --count 0", "--count: 0 is outside 1 to 1000000000"},
        {"live --count", "--count: no value given; it takes N (1 to 1000000000)"},
        {"live --count 3 --cnt", "--cnt is not an option of mq6 live"},
        {"-V", "-V is not an option of mq6"},
        {"setup write --b-mode --dry-run", "--b-mode: no value given; it takes NAME (wb, nb)"},
        {"live --count abc", "--count: abc is not a number" + whole + "1 to 1000000000"},
        {"setup write --yes --a1 5.1,14", "--a1: volts 5.1 is outside 0 to 5"},
        {"setup write --a1 0.5 --dry-run", "--a1: 0.5" + pair},
        {"setup write --yes --a1 ,10", "--a1: ,10" + pair},
        {"setup write --a1 1,0x10", "--a1: AFR 0x10 is not a number" + number + "0 to 210"},
        {"setup write --stoich 0.99", "--stoich: 0.99 is outside 1 to 210"},
        {"setup write --a1 1,12 --a1 2,13", "--a1 is given more than once; give it once"},
        {"setup write --nb-offset 128.5",
         "--nb-offset: 128.5 is not a whole number" + whole + "55 to 201"},
        {"setup write --nb-offset 54", "--nb-offset: 54 is outside 55 to 201"},
        {"setup write --b-mode xb", "--b-mode: xb is not one of wb, nb"},
        {"setup write --defaults --from x.json", "--defaults excludes --from"},
        {"setup write", "setup write: no terminal to confirm on; add --yes"},
        {"setup tables --channel c", "--channel: c is not one of a, b"},
        {"setup tables @port", "setup tables reads no unit; --port is not used here"},
        {"log --band 0x1,1 x.csv", "--band: 0x1 is not a number" + number + "0.68 to 1.32"},
        {"log --band 0.9,1.4 x.csv", "--band: 1.4 is outside 0.68 to 1.32"},
        {"log --band  x.csv", "--band: an empty value; it takes two lambdas from 0.68 to 1.32 "
                              "with a comma between, as 0.85,0.90"},
        {"setup write --stoich -5", "--stoich: -5 is outside 1 to 210"},
        {"info --port=", "--port: no value given; it takes PATH"},
        {"--version extra", "--version stands alone: mq6 --version"},
        {from,
         "FILE: parse error at line 2, column 12: syntax error while parsing value - unexpected "
         "'}'; expected '[', '{', or a literal",
         "{\"a1_volts\": 1,\n \"b1_afr\": }"},
        {from, "FILE: a1_volts takes a number from 0 to 25.5, not \"1\"", "{\"a1_volts\": \"1\"}"},
        {from, "FILE: a2_afr takes a number from 0 to 655.35, not 700", "{\"a2_afr\": 700}"},
        {from,
         "FILE: b_response takes one of Slowest Slower Slow Medium Fast Faster Fastest, or an "
         "even code from 0 to 510, not 512",
         "{\"b_response\": 512}"},
        {from, "FILE: unknown setting colour", "{\"colour\": 1}"},
        {"setup write --from /none.json", "cannot read /none.json: no such file"},
        {from, "FILE: setting flags is given twice", "{\"flags\": 1, \"flags\": 2}"},
        // Without a terminal a unit that is not updated is refused before --yes is asked for.
        {"firmware update @port",
         "not updated: The Firmware Versions Match, There is no Need to Update (--force updates "
         "anyway)",
         "", 1},
        {"info --port /dev/null", "cannot open /dev/null: not a serial terminal" + doctor, "", 1},
        {"info --port /nonexistent", "cannot open /nonexistent: no such file or device" + doctor,
         "", 1},
        {"info --port /", "cannot open /: it is a directory, not a port" + doctor, "", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        WriteText(dir.File("bad.json"), row.file);
        Args args = Split(row.command, ' '), help;
        for (std::string& arg : args)
            arg = arg == "FILE"    ? dir.File("bad.json")
                  : arg == "@port" ? "--port=" + sim.path
                                   : arg;
        for (size_t i = 0; i < args.size() && args[i][0] != '-' && args[i][0] != '@'; ++i)
            help.push_back(args[i]);
        if (row.reason.starts_with("unknown "))
            help.pop_back();
        size_t sent = ReadRequestLog(dir.File("log")).size();
        ProcessResult result = RunProcess(MQ6_CLI_PATH, args, dir.path);
        std::string reason = row.reason;
        if (size_t at = reason.find("FILE"); at != std::string::npos)
            reason.replace(at, 4, dir.File("bad.json"));
        std::string line = "run mq6 ";
        for (const std::string& word : help)
            line += word + " ";
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.err, "mq6: " + reason + "\n" + (row.status == 2 ? line + "--help\n" : ""));
        if (row.status == 2) {
            EXPECT_EQ(ReadRequestLog(dir.File("log")).size(), sent);
        }
    }
    StopSim(sim);
}

} // namespace
