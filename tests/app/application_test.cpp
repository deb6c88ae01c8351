// An error escaping an event handler is shown and the event loop carries on.
#include <stdexcept>

#include "support/window_env.h"

namespace velmora::app::test {
namespace {

class TThrowing : public QObject {
  public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw std::runtime_error("broken handler");
        if (e->type() == QEvent::User + 1) ++handled;
        return QObject::event(e);
    }
    int handled = 0;
};

TEST(Application, HandlerErrorIsShownAndLaterEventsStillArrive) {
    TMessageBoxCatcher boxes;
    TThrowing target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::Type(QEvent::User + 1)));
    ASSERT_TRUE(WaitFor([&] { return target.handled == 1; }, 5000));
    ASSERT_EQ(boxes.Texts.size(), 1);
    EXPECT_EQ(boxes.Texts[0], "broken handler");
}

}  // namespace
}  // namespace velmora::app::test
