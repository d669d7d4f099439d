#pragma once
// Holds back the case loader's synchronised calls while the main window
// switches stacks, so that none runs in between even if creating a control
// processes events. A call that arrives meanwhile waits and is delivered
// when the last hold ends. Holds nest.
//
// Threads: UI thread only (the loader just waits longer).
class TNotificationHold {
public:
    TNotificationHold();
    ~TNotificationHold();
    TNotificationHold(const TNotificationHold&) = delete;
    TNotificationHold& operator=(const TNotificationHold&) = delete;

    static bool Active();
};
