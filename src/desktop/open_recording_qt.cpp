// The Display menu's item of the Recording view in the desktop program: made with the menu,
// hidden until the first recording is opened (the Windows utility's string 111).
#include "app/open_recording.h"

#include "desktop/menu_qt.h"
#include "resources/resource.h"

#include <QAction>

void ShowRecordingViewItem() {
    if (QAction* item = MenuAction(IDM_RECORDING_VIEW); item != nullptr)
        item->setVisible(true);
}
