#include "core_app.h"

#include "auto_reset_event.h"
#include "message_receiver.h"
#include "messages.h"

#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace mireldo::platform;
using platformtest::coreApp;
using platformtest::processEventsUntil;

namespace {

constexpr std::uint32_t kPositionMsg = WM_USER + 19;
constexpr std::uint32_t kOtherMsg = WM_USER + 7;
constexpr std::uint32_t kTypedMsg = WM_USER + 40;

struct Received {
    std::uint32_t msg;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    QThread* thread;
    int payload = -1; // the Note's value for kTypedMsg
};

// Counts its own destructions, so a test sees whether a payload was freed, and how often.
struct Token {
    explicit Token(std::atomic<int>& destroyed) : destroyed_(destroyed) {}
    ~Token() { destroyed_.fetch_add(1); }
    Token(const Token&) = delete;
    Token& operator=(const Token&) = delete;
    std::atomic<int>& destroyed_;
};

// A payload that owns something: the Token lives as long as the payload's last copy.
struct Note {
    int value = 0;
    std::shared_ptr<Token> token;
};

// Another payload type, for the mismatch tests.
struct OtherNote {
    int value = 0;
};

// Records every message it handles; what it saw outlives it through the shared log.
class Recorder : public MessageReceiver {
  public:
    struct Log {
        std::mutex mutex;
        std::vector<Received> items;
        AutoResetEvent arrived;
        size_t size() {
            std::lock_guard lock(mutex);
            return items.size();
        }
    };

    explicit Recorder(std::shared_ptr<Log> log) : log_(std::move(log)) {
        for (std::uint32_t msg : {kPositionMsg, kOtherMsg, MM_WIM_DATA, MM_WOM_DONE}) {
            onMessage(msg, [this, msg](std::uintptr_t w, std::intptr_t l) { record(msg, w, l); });
        }
        onMessage<Note>(kTypedMsg,
                        [this](const Note& note) { record(kTypedMsg, 0, 0, note.value); });
    }

    using MessageReceiver::onMessage; // tests change the map from outside

  private:
    void record(std::uint32_t msg, std::uintptr_t w, std::intptr_t l, int payload = -1) {
        {
            std::lock_guard lock(log_->mutex);
            log_->items.push_back({msg, w, l, QThread::currentThread(), payload});
        }
        log_->arrived.set();
    }

    std::shared_ptr<Log> log_;
};

// A worker thread with a running event loop and a context object living on it.
class Worker {
  public:
    Worker() {
        thread_.start();
        context_.moveToThread(&thread_);
    }
    ~Worker() {
        thread_.quit();
        thread_.wait();
    }

    template <typename F>
    void runBlocking(F f) {
        QMetaObject::invokeMethod(&context_, std::move(f), Qt::BlockingQueuedConnection);
    }
    QThread* thread() { return &thread_; }

  private:
    QThread thread_;
    QObject context_;
};

// A receiver on another QObject class, with its own meta-object, as a window class would be.
class TimerReceiver : public MessageReceiverBase<QTimer> {
    Q_OBJECT
  public:
    explicit TimerReceiver(QObject* parent) : MessageReceiverBase(parent) {
        onMessage(kPositionMsg, [this](std::uintptr_t w, std::intptr_t) {
            lastW = w;
            Q_EMIT handled();
        });
    }
    std::uintptr_t lastW = 0;

  Q_SIGNALS:
    void handled();
};

class MessagesTest : public ::testing::Test {
  protected:
    void SetUp() override { coreApp(); }
};

} // namespace

TEST(MessageMapTest, DispatchesByIdReplacesRemovesAndIgnoresUnknownIds) {
    MessageMap map;
    std::vector<int> calls;
    map.onMessage(kPositionMsg, [&](std::uintptr_t w, std::intptr_t l) {
        calls.push_back(static_cast<int>(w) * 100 + static_cast<int>(l));
    });
    EXPECT_TRUE(map.handles(kPositionMsg));
    EXPECT_FALSE(map.handles(kOtherMsg));

    EXPECT_TRUE(map.dispatch(kPositionMsg, 3, 4));
    EXPECT_FALSE(map.dispatch(kOtherMsg, 1, 1));
    EXPECT_EQ(calls, std::vector<int>{304});

    map.onMessage(kPositionMsg, [&](std::uintptr_t, std::intptr_t) { calls.push_back(-1); });
    EXPECT_TRUE(map.dispatch(kPositionMsg, 0, 0));
    EXPECT_EQ(calls, (std::vector<int>{304, -1}));

    map.onMessage(kPositionMsg, nullptr);
    EXPECT_FALSE(map.handles(kPositionMsg));
    EXPECT_FALSE(map.dispatch(kPositionMsg, 0, 0));
    EXPECT_EQ(calls.size(), 2u);
}

TEST(MessageMapTest, HandlerMayRemoveItselfWhileRunning) {
    MessageMap map;
    int runs = 0;
    map.onMessage(kPositionMsg, [&](std::uintptr_t, std::intptr_t) {
        map.onMessage(kPositionMsg, nullptr);
        map.onMessage(kOtherMsg, [&](std::uintptr_t, std::intptr_t) {});
        ++runs;
    });
    EXPECT_TRUE(map.dispatch(kPositionMsg, 0, 0));
    EXPECT_FALSE(map.dispatch(kPositionMsg, 0, 0));
    EXPECT_EQ(runs, 1);
}

TEST(MessageMapTest, TypedHandlerGetsItsPayloadAndMayTakeWhatItOwns) {
    MessageMap map;
    std::unique_ptr<int> taken;
    map.onMessage<std::unique_ptr<int>>(kTypedMsg,
                                        [&](std::unique_ptr<int>& p) { taken = std::move(p); });
    MessageEvent event(kTypedMsg, MessagePayload::of(std::make_unique<int>(42)));
    EXPECT_TRUE(map.dispatch(event));
    ASSERT_TRUE(taken);
    EXPECT_EQ(*taken, 42);

    map.onMessage<std::unique_ptr<int>>(kTypedMsg, nullptr);
    EXPECT_FALSE(map.handles(kTypedMsg));
}

TEST(MessageMapTest, MessageThatDoesNotFitItsHandlerIsAnErrorAndNeverRuns) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    MessageMap map;
    int typedRuns = 0;
    int plainRuns = 0;
    map.onMessage<Note>(kTypedMsg, [&](const Note&) { ++typedRuns; });
    map.onMessage(kPositionMsg, [&](std::uintptr_t, std::intptr_t) { ++plainRuns; });

    // Debug builds stop at the mistake; release builds drop the message.
    bool otherTypeRan = true;
    bool noneRan = true;
    bool plainRan = true;
    MessageEvent otherType(kTypedMsg, MessagePayload::of(OtherNote{7}));
    EXPECT_DEBUG_DEATH(otherTypeRan = map.dispatch(otherType), "payload");
    EXPECT_DEBUG_DEATH(noneRan = map.dispatch(kTypedMsg, 1, 2), "payload");
    MessageEvent payloadForPlain(kPositionMsg, MessagePayload::of(Note{}));
    EXPECT_DEBUG_DEATH(plainRan = map.dispatch(payloadForPlain), "payload");
#ifdef NDEBUG
    EXPECT_FALSE(otherTypeRan);
    EXPECT_FALSE(noneRan);
    EXPECT_FALSE(plainRan);
#else
    (void)otherTypeRan;
    (void)noneRan;
    (void)plainRan;
#endif
    EXPECT_EQ(typedRuns, 0);
    EXPECT_EQ(plainRuns, 0);

    MessageEvent right(kTypedMsg, MessagePayload::of(Note{}));
    EXPECT_TRUE(map.dispatch(right));
    EXPECT_EQ(typedRuns, 1);
}

TEST(MessagePayloadTest, HoldsOneValueOfOneTypeAndFreesItOnce) {
    std::atomic<int> destroyed{0};
    {
        MessagePayload empty;
        EXPECT_TRUE(empty.empty());
        EXPECT_EQ(empty.get<Note>(), nullptr);

        MessagePayload p = MessagePayload::of(Note{5, std::make_shared<Token>(destroyed)});
        EXPECT_FALSE(p.empty());
        EXPECT_EQ(p.get<OtherNote>(), nullptr);
        ASSERT_NE(p.get<Note>(), nullptr);
        EXPECT_EQ(p.get<Note>()->value, 5);
        MessagePayload moved = std::move(p);
        EXPECT_EQ(moved.get<Note>()->value, 5);
        EXPECT_EQ(destroyed.load(), 0);
    }
    EXPECT_EQ(destroyed.load(), 1);
}

TEST_F(MessagesTest, TypedMessagesArriveInOrderWithPlainOnesOnTheReceiversThread) {
    Worker worker;
    auto log = std::make_shared<Recorder::Log>();
    Recorder* recorder = nullptr;
    worker.runBlocking([&] { recorder = new Recorder(log); });
    const ReceiverHandle to = recorder->handle();

    std::atomic<int> destroyed{0};
    constexpr int kRounds = 200;
    for (int i = 0; i < kRounds; ++i) {
        ASSERT_TRUE(postMessage(to, kOtherMsg, static_cast<std::uintptr_t>(i), 0));
        ASSERT_TRUE(postMessage(to, kTypedMsg, Note{i, std::make_shared<Token>(destroyed)}));
    }
    // From a thread Qt did not start, after everything above.
    std::thread([&] {
        EXPECT_TRUE(postMessage(to, kTypedMsg, Note{-7, std::make_shared<Token>(destroyed)}));
    }).join();

    ASSERT_TRUE(processEventsUntil([&] { return log->size() == 2 * kRounds + 1; }));
    {
        std::lock_guard lock(log->mutex);
        for (int i = 0; i < kRounds; ++i) {
            const Received& plain = log->items[2 * static_cast<size_t>(i)];
            const Received& typed = log->items[2 * static_cast<size_t>(i) + 1];
            ASSERT_EQ(plain.msg, kOtherMsg);
            ASSERT_EQ(plain.wParam, static_cast<std::uintptr_t>(i));
            ASSERT_EQ(typed.msg, kTypedMsg);
            ASSERT_EQ(typed.payload, i) << "a payload keeps its place among plain messages";
        }
        EXPECT_EQ(log->items.back().payload, -7);
        for (const Received& r : log->items) {
            ASSERT_EQ(r.thread, worker.thread());
        }
    }
    // Qt frees a handled event after event() returns, still on the receiver's thread.
    ASSERT_TRUE(processEventsUntil([&] { return destroyed.load() >= kRounds + 1; }));
    EXPECT_EQ(destroyed.load(), kRounds + 1) << "every payload freed exactly once";

    worker.runBlocking([&] { delete recorder; });
}

// A sent message runs its handler before sendMessage() returns when the receiver lives on the
// sender's thread, after what was posted to it; to a receiver on another thread it is posted,
// and a handle that names no receiver runs nothing.
TEST_F(MessagesTest, SendRunsAtOnceOnTheReceiversThreadAndPostsToAnother) {
    auto log = std::make_shared<Recorder::Log>();
    {
        Recorder here(log);
        ASSERT_TRUE(postMessage(here.handle(), kOtherMsg, 1, 0));
        ASSERT_TRUE(sendMessage(here.handle(), kPositionMsg, 2, 3));
        ASSERT_EQ(log->size(), 1u) << "handled before sendMessage() returned";
        EXPECT_EQ(log->items[0].msg, kPositionMsg);
        EXPECT_EQ(log->items[0].wParam, 2u);
        EXPECT_EQ(log->items[0].lParam, 3);
        ASSERT_TRUE(processEventsUntil([&] { return log->size() == 2; }));
        EXPECT_EQ(log->items[1].msg, kOtherMsg);

        const ReceiverHandle gone = here.handle();
        here.stopReceiving();
        EXPECT_FALSE(sendMessage(gone, kPositionMsg, 4, 0));
        EXPECT_FALSE(sendMessage(ReceiverHandle(), kPositionMsg, 4, 0));
        EXPECT_EQ(log->size(), 2u);
    }

    Worker worker;
    Recorder* there = nullptr;
    worker.runBlocking([&] { there = new Recorder(log); });
    ASSERT_TRUE(sendMessage(there->handle(), kPositionMsg, 5, 0));
    ASSERT_TRUE(processEventsUntil([&] { return log->size() == 3; }));
    {
        std::lock_guard lock(log->mutex);
        EXPECT_EQ(log->items[2].wParam, 5u);
        EXPECT_EQ(log->items[2].thread, worker.thread());
    }
    worker.runBlocking([&] { delete there; });
}

TEST_F(MessagesTest, PayloadForAGoneReceiverIsFreedOnceAndNeverDelivered) {
    std::atomic<int> destroyed{0};
    auto log = std::make_shared<Recorder::Log>();

    // Refused at once: freed before postMessage() returns.
    EXPECT_FALSE(
        postMessage(ReceiverHandle(), kTypedMsg, Note{1, std::make_shared<Token>(destroyed)}));
    EXPECT_EQ(destroyed.load(), 1);
    auto first = std::make_unique<Recorder>(log);
    const ReceiverHandle gone = first->handle();
    first.reset();
    EXPECT_FALSE(postMessage(gone, kTypedMsg, Note{2, std::make_shared<Token>(destroyed)}));
    EXPECT_EQ(destroyed.load(), 2);

    // Queued, then the receiver goes: dropped with it.
    auto second = std::make_unique<Recorder>(log);
    EXPECT_TRUE(
        postMessage(second->handle(), kTypedMsg, Note{3, std::make_shared<Token>(destroyed)}));
    EXPECT_EQ(destroyed.load(), 2) << "a queued payload lives until it is handled or dropped";
    second.reset();
    EXPECT_EQ(destroyed.load(), 3);

    // Queued, then the receiver stops receiving.
    Recorder third(log);
    EXPECT_TRUE(
        postMessage(third.handle(), kTypedMsg, Note{4, std::make_shared<Token>(destroyed)}));
    third.stopReceiving();
    EXPECT_EQ(destroyed.load(), 4);
    EXPECT_FALSE(
        postMessage(third.handle(), kTypedMsg, Note{5, std::make_shared<Token>(destroyed)}));
    EXPECT_EQ(destroyed.load(), 5);

    QCoreApplication::processEvents();
    EXPECT_EQ(log->size(), 0u);
    EXPECT_EQ(destroyed.load(), 5);
}

TEST_F(MessagesTest, DeliversOnTheReceiversThreadWithParametersIntactAndInOrder) {
    Worker worker;
    auto log = std::make_shared<Recorder::Log>();
    Recorder* recorder = nullptr;
    worker.runBlocking([&] { recorder = new Recorder(log); });
    const ReceiverHandle to = recorder->handle();

    constexpr std::uintptr_t kBigW = std::numeric_limits<std::uintptr_t>::max();
    constexpr std::intptr_t kNegativeL = std::numeric_limits<std::intptr_t>::min();
    ASSERT_TRUE(postMessage(to, kPositionMsg, kBigW, kNegativeL));
    ASSERT_TRUE(postMessage(to, MM_WIM_DATA, 10240, -1));
    // From a thread Qt did not start.
    std::thread([&] { EXPECT_TRUE(postMessage(to, MM_WOM_DONE, 7, 8)); }).join();
    for (std::uintptr_t i = 0; i < 500; ++i) {
        ASSERT_TRUE(postMessage(to, kOtherMsg, i, static_cast<std::intptr_t>(i)));
    }

    ASSERT_TRUE(processEventsUntil([&] { return log->size() == 503; }));
    std::lock_guard lock(log->mutex);
    EXPECT_EQ(log->items[0].msg, kPositionMsg);
    EXPECT_EQ(log->items[0].wParam, kBigW);
    EXPECT_EQ(log->items[0].lParam, kNegativeL);
    EXPECT_EQ(log->items[1].msg, MM_WIM_DATA);
    EXPECT_EQ(log->items[1].lParam, -1);
    EXPECT_EQ(log->items[2].msg, MM_WOM_DONE);
    for (size_t i = 0; i < 500; ++i) {
        ASSERT_EQ(log->items[3 + i].msg, kOtherMsg);
        ASSERT_EQ(log->items[3 + i].wParam, i) << "messages from one poster arrive in order";
    }
    for (const Received& r : log->items) {
        ASSERT_EQ(r.thread, worker.thread()) << "handled on the receiver's own thread";
    }

    worker.runBlocking([&] { delete recorder; });
}

TEST_F(MessagesTest, UnhandledMessageIsIgnoredAndLaterOnesStillArrive) {
    auto log = std::make_shared<Recorder::Log>();
    Recorder recorder(log);
    recorder.onMessage(kOtherMsg, nullptr);
    EXPECT_TRUE(postMessage(recorder.handle(), WM_USER + 999, 1, 2));
    EXPECT_TRUE(postMessage(recorder.handle(), kOtherMsg, 1, 2));
    EXPECT_TRUE(postMessage(recorder.handle(), kPositionMsg, 5, 6));
    ASSERT_TRUE(processEventsUntil([&] { return log->size() == 1; }));
    QCoreApplication::processEvents();
    ASSERT_EQ(log->size(), 1u);
    EXPECT_EQ(log->items[0].msg, kPositionMsg);
}

TEST_F(MessagesTest, PostToNullOrDestroyedReceiverFailsAndHandlesAreNotReused) {
    EXPECT_FALSE(postMessage(ReceiverHandle(), kPositionMsg));

    auto log = std::make_shared<Recorder::Log>();
    auto first = std::make_unique<Recorder>(log);
    const ReceiverHandle old = first->handle();
    EXPECT_FALSE(old.isNull());
    EXPECT_TRUE(isReceiverAlive(old));
    // Queued before the receiver goes: must be dropped, never delivered to freed memory.
    EXPECT_TRUE(postMessage(old, kPositionMsg, 1, 1));
    first.reset();

    EXPECT_FALSE(isReceiverAlive(old));
    EXPECT_FALSE(postMessage(old, kPositionMsg, 2, 2));

    // A new receiver, even at the same address, answers only to its own handle.
    auto second = std::make_unique<Recorder>(log);
    EXPECT_NE(second->handle(), old);
    EXPECT_FALSE(postMessage(old, kPositionMsg, 3, 3));
    QCoreApplication::processEvents();
    EXPECT_EQ(log->size(), 0u);
}

TEST_F(MessagesTest, ReceiverOnAnyQObjectClassWorksAndDiesWithItsParent) {
    auto parent = std::make_unique<QObject>();
    auto* receiver = new TimerReceiver(parent.get());
    EXPECT_EQ(receiver->parent(), parent.get());
    EXPECT_STREQ(receiver->metaObject()->className(), "TimerReceiver");
    EXPECT_TRUE(receiver->inherits("QTimer"));
    int handledCount = 0;
    QObject::connect(receiver, &TimerReceiver::handled, [&] { ++handledCount; });

    ASSERT_TRUE(postMessage(receiver->handle(), kPositionMsg, 99, 0));
    ASSERT_TRUE(processEventsUntil([&] { return handledCount == 1; }));
    EXPECT_EQ(receiver->lastW, 99u);

    const ReceiverHandle handle = receiver->handle();
    parent.reset(); // deletes the receiver as its child
    EXPECT_FALSE(postMessage(handle, kPositionMsg, 1, 0));
}

TEST_F(MessagesTest, StopReceivingRefusesNewPostsAndDropsQueuedOnes) {
    auto log = std::make_shared<Recorder::Log>();
    Recorder recorder(log);
    EXPECT_TRUE(postMessage(recorder.handle(), kPositionMsg, 1, 1));
    recorder.stopReceiving();
    EXPECT_FALSE(postMessage(recorder.handle(), kPositionMsg, 2, 2));
    QCoreApplication::processEvents();
    EXPECT_EQ(log->size(), 0u);
}

TEST_F(MessagesTest, ReceiverDestroyedOnItsThreadWhilePostersRunNeverCrashes) {
    constexpr int kRounds = 150;
    size_t delivered = 0;
    for (int round = 0; round < kRounds; ++round) {
        auto log = std::make_shared<Recorder::Log>();
        std::atomic<std::uint64_t> handleId{0};
        std::atomic<int> accepted{0};
        std::atomic<bool> destroyed{false};
        const int handleSome = 1 + round % 20;

        // The receiver's own thread handles messages for a while, then destroys the receiver
        // while the posters are still posting; the moment varies from round to round.
        std::unique_ptr<QThread> owner(QThread::create([&] {
            auto* recorder = new Recorder(log);
            handleId.store(recorder->handle().id());
            while (accepted.load() < handleSome) {
                QCoreApplication::processEvents();
            }
            delete recorder;
            destroyed.store(true);
        }));
        owner->start();
        while (handleId.load() == 0) {
            std::this_thread::yield();
        }
        const ReceiverHandle to(handleId.load());

        std::vector<std::thread> posters;
        for (int p = 0; p < 2; ++p) {
            posters.emplace_back([&, p] {
                for (std::uintptr_t i = 0;; ++i) {
                    if (!postMessage(to, kPositionMsg, i, p)) {
                        break;
                    }
                    accepted.fetch_add(1);
                }
            });
        }
        for (std::thread& t : posters) {
            t.join();
        }
        owner->wait();

        ASSERT_TRUE(destroyed.load());
        EXPECT_FALSE(postMessage(to, kPositionMsg, 0, 0));
        EXPECT_LE(log->size(), static_cast<size_t>(accepted.load()));
        for (const Received& r : log->items) {
            ASSERT_EQ(r.thread, owner.get());
        }
        delivered += log->items.size();
    }
    EXPECT_GT(delivered, 0u) << "deliveries must have raced with the posts and the deletion";
}

#include "messages_test.moc"
