#pragma once
// Shared by the window tests: a lab network namespace for the whole test
// process, and an answerer for modal boxes and dialogs (lab/testsupport/qt).
#include "lab/labNet.h"
#include "lab/testsupport/qt/modalAnswerer.h"
#include "lab/testsupport/qt/qtestMain.h"

#include <QMessageBox>

#include <fcntl.h>
#include <memory>
#include <sched.h>
#include <unistd.h>

// Set by main: the process entered the host namespace of a lab of its own,
// which goes away with it. Everything the window reads or writes of
// interfaces and routes, and every search it makes, then stays inside.
inline bool& InPrivateNetns()
{
    static bool inside = false;
    return inside;
}

// The lab whose host namespace the test process lives in, and that
// namespace's name.
inline std::unique_ptr<lab::LabNet>& TestLab()
{
    static std::unique_ptr<lab::LabNet> net;
    return net;
}
inline std::string& TestHostNamespace()
{
    static std::string name;
    return name;
}

// Moves the process into a new lab host namespace. Called first in main,
// while the process has one thread: threads made later inherit it.
inline bool EnterLabHost()
{
    if (!lab::UnavailableReason().empty())
        return false;
    TestLab() = std::make_unique<lab::LabNet>();
    TestHostNamespace() = TestLab()->AddNamespace("host");
    if (TestHostNamespace().empty())
        return false;
    const int fd = ::open(("/run/netns/" + TestHostNamespace()).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool entered = ::setns(fd, CLONE_NEWNET) == 0;
    ::close(fd);
    return entered && lab::InLabNamespace();
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

// The program under test searches the network: the whole test process lives
// in a lab's host namespace, entered before the application starts a thread.
#define TWL_LAB_QTEST_MAIN(TestObject)                                                                                 \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        InPrivateNetns() = EnterLabHost();                                                                             \
        int result = 0;                                                                                                \
        {                                                                                                              \
            QApplication app(argc, argv);                                                                              \
            TestObject tc;                                                                                             \
            QTEST_SET_MAIN_SOURCE_PATH                                                                                 \
            result = twltest::QtExec(&tc, argc, argv);                                                                 \
        }                                                                                                              \
        TestLab().reset();                                                                                             \
        return result;                                                                                                 \
    }
