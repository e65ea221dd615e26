// Dialog objects and windows come and go without leaks, whichever way the
// windows end; and a dialog that can't be created leaves nothing behind.

#include "dialog_test_support.h"
#include "resource.h"

namespace {

class DialogLifetime : public DialogTest {
protected:
    // Every way a dialog can end, once.
    void OpenAndCloseAll() {
        const HWND d = OpenProperties();
        const HWND a = OpenChannel(d, 225);
        const HWND b = OpenChannel(d, 243);
        Click(a, IDOK);
        Click(d, IDCANCEL); // waits, hidden, for b
        ::SendMessageA(b, WM_CLOSE, 0, 0);
        PumpMessages();

        const HWND e = OpenProperties();
        OpenChannel(e, 229);
        ::SetDlgItemTextA(e, IDC_DEVICE_ID, "0");
        Click(e, IDC_APPLY);
        Click(e, IDCANCEL);
        PumpMessages();
        host_.CloseAll();
    }
};

TEST_F(DialogLifetime, OpeningAndClosingManyTimesLeaksNothing) {
    OpenAndCloseAll(); // the first dialogs may leave the thread's helper windows
    const int windows = ThreadWindowCount();
    for (int i = 0; i < 30; ++i) {
        OpenAndCloseAll();
        ASSERT_TRUE(host_.open.empty()) << i;
        ASSERT_EQ(CDialogBase::LiveCount(), 0) << i;
    }
    EXPECT_EQ(ThreadWindowCount(), windows);
}

TEST_F(DialogLifetime, DestroyingTheOwnerDestroysItsDialogsAndFreesThem) {
    const HWND owner = ::CreateWindowExA(0, "STATIC", "player", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                         0, 640, 480, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    const HWND d = OpenProperties(owner);
    const HWND a = OpenChannel(d, 225);
    const HWND ended = OpenProperties(owner);
    const HWND b = OpenChannel(ended, 230);
    Click(ended, IDCANCEL); // hidden, waiting for b
    EXPECT_EQ(CDialogBase::LiveCount(), 4);

    ::DestroyWindow(owner);
    for (HWND w : {d, a, ended, b}) {
        EXPECT_FALSE(::IsWindow(w));
    }
    EXPECT_TRUE(host_.open.empty());
    EXPECT_EQ(CDialogBase::LiveCount(), 0);
}

TEST_F(DialogLifetime, NothingOpensWithoutItsTemplate) {
    host_.resources = ::GetModuleHandleA("kernel32.dll");
    const int windows = ThreadWindowCount();
    OpenPropertyDialog(host_, host_.plugin, nullptr);
    EXPECT_TRUE(host_.open.empty());
    EXPECT_EQ(CDialogBase::LiveCount(), 0);
    EXPECT_EQ(ThreadWindowCount(), windows);
}

TEST_F(DialogLifetime, ADialogTheHostCannotRecordDoesNotOpenAndLeavesNothing) {
    host_.CloseAll(); // the first dialogs may leave the thread's helper windows
    const HWND first = OpenProperties();
    Click(first, IDCANCEL);
    PumpMessages();
    const int windows = ThreadWindowCount();

    host_.refuseDialogs = true;
    OpenPropertyDialog(host_, host_.plugin, nullptr);
    EXPECT_TRUE(host_.open.empty());
    EXPECT_EQ(CDialogBase::LiveCount(), 0);
    EXPECT_EQ(ThreadWindowCount(), windows);

    // A channel dialog refused under a property dialog: the owner isn't left
    // waiting for it and ends at once.
    host_.refuseDialogs = false;
    const HWND d = OpenProperties();
    host_.refuseDialogs = true;
    Click(d, 225);
    EXPECT_EQ(host_.open, std::vector<HWND>{d});
    EXPECT_EQ(CDialogBase::LiveCount(), 1);
    host_.refuseDialogs = false;
    Click(d, IDCANCEL);
    PumpMessages();
    EXPECT_FALSE(::IsWindow(d));
    EXPECT_EQ(CDialogBase::LiveCount(), 0);
    EXPECT_EQ(ThreadWindowCount(), windows);
}

} // namespace
