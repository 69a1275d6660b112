// Engine events cross from the engine thread to the UI thread through Qt's
// event queue, whose locks the thread checker cannot see: the event must
// hand its contents and its Delivery over by itself. Under the tsan preset
// this catches a read of an event, or a finish of its Delivery, that is not
// ordered after the sending thread built it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>

#include <memory>
#include <thread>
#include <vector>

#include "app/EngineEvent.h"

namespace tavrin::app {
namespace {

constexpr std::uint32_t kEvents = 200;
constexpr std::uint32_t kPostedPerSent = 20;

// The window's side, as MainWindow::event does it: records what it handled,
// on the UI thread only.
class Receiver : public QObject {
public:
    bool event(QEvent* e) override {
        EngineEvent::AcquirePosted();
        if (e->type() != EngineEvent::Kind()) return QObject::event(e);
        const EngineEvent::Payload p = static_cast<const EngineEvent&>(*e).payload;
        if (p.lParam == 0) {
            ++posted;  // the engine's posted events, picked up while the UI thread is busy
        } else {
            handled.push_back(p.message + p.wParam + p.lParam);
        }
        if (p.message == kEvents) QCoreApplication::quit();
        return true;
    }
    std::vector<std::uint32_t> handled;
    std::uint32_t posted = 0;
};

TEST(EngineEventTest, ASenderResumesOnlyOnceTheUiThreadHasHandledItsEvent) {
    int argc = 1;
    char name[] = "qt_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    Receiver receiver;
    std::vector<std::size_t> seenBySender;
    std::thread engine([&] {
        for (std::uint32_t i = 0; i < kEvents; ++i) {
            for (std::uint32_t n = 0; n < kPostedPerSent; ++n) {
                QCoreApplication::postEvent(&receiver, new EngineEvent(kEvents + 1, n, 0));
            }
            auto delivery = std::make_shared<Delivery>();
            QCoreApplication::postEvent(&receiver, new EngineEvent(i, i, 1, delivery));
            delivery->wait();
            // Ordered after the handling by the Delivery: the UI thread is
            // done with the vector until the next event.
            seenBySender.push_back(receiver.handled.size());
        }
        QCoreApplication::postEvent(&receiver, new EngineEvent(kEvents, 0, 0));
    });
    QCoreApplication::exec();
    engine.join();
    EXPECT_EQ(receiver.posted, kEvents * kPostedPerSent + 1);
    ASSERT_EQ(receiver.handled.size(), kEvents);
    for (std::uint32_t i = 0; i < kEvents; ++i) {
        EXPECT_EQ(receiver.handled[i], 2 * i + 1);
        EXPECT_EQ(seenBySender[i], i + 1u);
    }
}

}  // namespace
}  // namespace tavrin::app
