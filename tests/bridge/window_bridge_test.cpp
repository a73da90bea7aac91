#include "core_bridge/window_bridge.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "duilib/UIlib.h"
#include "ui_driver.h"

namespace bridge = veltrinawnd::bridge;

namespace {

// Counts live payloads, so every test can prove nothing leaked and nothing was freed twice.
struct Payload {
  static std::atomic<int> live;
  explicit Payload(int v) : value(v) { ++live; }
  ~Payload() { --live; }
  int value;
};
std::atomic<int> Payload::live{0};

constexpr UINT kTake = WM_USER + 1;
constexpr UINT kIgnore = WM_USER + 2;
constexpr UINT kValue = WM_USER + 3;

class BridgeWnd : public DuiLib::WindowImplBase {
 public:
  std::vector<int> received;
  DWORD handler_thread = 0;
  LPARAM last_value = 0;
  bridge::WindowRef Ref() const { return lifetime_.Ref(); }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"BridgeTestWnd"; }
  DuiLib::CDuiString GetSkinFolder() override { return L""; }
  DuiLib::CDuiString GetSkinFile() override { return L"<Window size=\"120,80\"><VerticalLayout /></Window>"; }
  LRESULT OnCreate(UINT m, WPARAM w, LPARAM l, BOOL& handled) override {
    LRESULT r = WindowImplBase::OnCreate(m, w, l, handled);
    if (r == 0) lifetime_.Attach(m_hWnd);
    return r;
  }
  void OnFinalMessage(HWND h) override {
    lifetime_.Expire();
    WindowImplBase::OnFinalMessage(h);
  }
  LRESULT HandleMessage(UINT m, WPARAM w, LPARAM l) override {
    if (m == kTake) {
      std::unique_ptr<Payload> p = lifetime_.Receive<Payload>(l);
      received.push_back(p ? p->value : -1);
      handler_thread = GetCurrentThreadId();
      return 0;
    }
    if (m == kIgnore) return 0;  // a handler that forgets its payload
    if (m == kValue) {
      last_value = l;
      return 0;
    }
    return WindowImplBase::HandleMessage(m, w, l);
  }

 private:
  bridge::WindowLifetime lifetime_;
};

class BridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DuiLib::CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
    Payload::live = 0;
    wnd_ = std::make_unique<BridgeWnd>();
    ASSERT_NE(wnd_->Create(nullptr, L"bridge", WS_POPUP, 0, 0, 0, 120, 80), nullptr);
  }
  void TearDown() override {
    if (wnd_ && wnd_->GetHWND()) DestroyWindow(wnd_->GetHWND());
    wnd_.reset();
    testkit::PumpFor(20);
    EXPECT_EQ(Payload::live.load(), 0);
  }
  std::unique_ptr<BridgeWnd> wnd_;
};

}  // namespace

TEST_F(BridgeTest, PostedPayloadReachesTheHandlerOnTheUiThreadAndIsFreedThere) {
  bridge::WindowRef ref = wnd_->Ref();
  std::thread core([ref] { EXPECT_TRUE(bridge::Post(ref, kTake, std::make_unique<Payload>(7))); });
  core.join();
  EXPECT_EQ(Payload::live.load(), 1);  // queued, owned by nobody but the queue
  ASSERT_TRUE(testkit::PumpUntil([&] { return !wnd_->received.empty(); }));
  EXPECT_EQ(wnd_->received, std::vector<int>{7});
  EXPECT_EQ(wnd_->handler_thread, GetCurrentThreadId());
  EXPECT_EQ(Payload::live.load(), 0);
}

TEST_F(BridgeTest, SendWaitsForTheHandler) {
  bridge::WindowRef ref = wnd_->Ref();
  std::atomic<bool> returned{false};
  std::atomic<bool> handled_before_return{false};
  BridgeWnd* wnd = wnd_.get();
  std::thread core([&, ref] {
    EXPECT_TRUE(bridge::Send(ref, kTake, std::make_unique<Payload>(3)));
    handled_before_return = !wnd->received.empty();
    returned = true;
  });
  ASSERT_TRUE(testkit::PumpUntil([&] { return returned.load(); }));
  core.join();
  EXPECT_TRUE(handled_before_return.load());
  EXPECT_EQ(wnd_->received, std::vector<int>{3});
}

TEST_F(BridgeTest, PayloadForAClosedWindowIsDroppedAndFreedWithoutTouchingIt) {
  bridge::WindowRef ref = wnd_->Ref();
  DestroyWindow(wnd_->GetHWND());
  wnd_.reset();  // the window object is gone too
  EXPECT_FALSE(ref.alive());
  std::thread core([ref] {
    EXPECT_FALSE(bridge::Post(ref, kTake, std::make_unique<Payload>(1)));
    EXPECT_FALSE(bridge::Send(ref, kTake, std::make_unique<Payload>(2)));
    EXPECT_FALSE(bridge::PostValue(ref, kValue, 5));
    EXPECT_FALSE(bridge::SendValue(ref, kValue, 5));
  });
  core.join();
  EXPECT_EQ(Payload::live.load(), 0);
}

TEST_F(BridgeTest, QueuedPayloadIsFreedWhenTheWindowGoesFirst) {
  bridge::WindowRef ref = wnd_->Ref();
  std::thread core([ref] {
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(bridge::Post(ref, kTake, std::make_unique<Payload>(i)));
  });
  core.join();
  EXPECT_EQ(Payload::live.load(), 10);
  DestroyWindow(wnd_->GetHWND());  // before the loop dispatched anything
  EXPECT_EQ(Payload::live.load(), 0);
  EXPECT_TRUE(wnd_->received.empty());
}

TEST_F(BridgeTest, SentPayloadTheHandlerDidNotTakeIsFreedBySender) {
  bridge::WindowRef ref = wnd_->Ref();
  std::atomic<bool> done{false};
  std::thread core([&, ref] {
    EXPECT_TRUE(bridge::Send(ref, kIgnore, std::make_unique<Payload>(9)));
    done = true;
  });
  ASSERT_TRUE(testkit::PumpUntil([&] { return done.load(); }));
  core.join();
  EXPECT_EQ(Payload::live.load(), 0);
}

TEST_F(BridgeTest, SmallValuesTravelInLParam) {
  bridge::WindowRef ref = wnd_->Ref();
  std::thread core([ref] { EXPECT_TRUE(bridge::PostValue(ref, kValue, -1)); });
  core.join();
  ASSERT_TRUE(testkit::PumpUntil([&] { return wnd_->last_value != 0; }));
  EXPECT_EQ(wnd_->last_value, -1);
}

TEST_F(BridgeTest, ManyCallbacksRacingAClosingWindowFreeEverythingExactlyOnce) {
  bridge::WindowRef ref = wnd_->Ref();
  std::atomic<int> delivered{0};
  std::vector<std::thread> cores;
  for (int t = 0; t < 4; ++t) {
    cores.emplace_back([&, ref, t] {
      for (int i = 0; i < 250; ++i) {
        bool ok = (i % 2) ? bridge::Post(ref, kTake, std::make_unique<Payload>(t * 1000 + i))
                          : bridge::Send(ref, kTake, std::make_unique<Payload>(t * 1000 + i));
        if (ok) ++delivered;
      }
    });
  }
  // Let some through, then close the window while the cores keep going.
  testkit::PumpUntil([&] { return wnd_->received.size() >= 50; }, 5000);
  DestroyWindow(wnd_->GetHWND());
  // Senders blocked on the closing window return once it is gone; keep pumping until all finish.
  std::atomic<bool> all_done{false};
  std::thread joiner([&] {
    for (auto& c : cores) c.join();
    all_done = true;
  });
  ASSERT_TRUE(testkit::PumpUntil([&] { return all_done.load(); }, 20000));
  joiner.join();
  EXPECT_GE(wnd_->received.size(), 50u);
  EXPECT_EQ(Payload::live.load(), 0);
}
