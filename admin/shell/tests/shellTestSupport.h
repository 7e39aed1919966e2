#pragma once
// Shared by the window tests: a private network namespace for the whole
// test process, and an answerer for modal boxes and dialogs, both from the
// shared test support (lab/testsupport/qt).
#include "modalAnswerer.h"
#include "qtestMain.h"

#include <QMessageBox>

// Set by TWL_NETNS_QTEST_MAIN: the process entered a network namespace of
// its own, which goes away with it. Everything the window reads or writes of
// interfaces and routes then stays inside.
inline bool InPrivateNetns()
{
    return twltest::PrivateNetworkProblem().empty();
}

// Answers every modal box or dialog that opens while it lives: a message
// box with the given button (or its first one), any other dialog with
// accept(). Records what it saw (box texts in Texts, dialog classes in
// DialogClasses).
class TModalAnswerer : public twltest::ModalAnswerer {
public:
    explicit TModalAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok)
        : ModalAnswerer(answer, OtherDialogs::Accept)
    {
    }
};
