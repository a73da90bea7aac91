#include "core_bridge/window_bridge.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "duilib/UIlib.h"
#include "ui_driver.h"

namespace bridge = veltrinawnd::bridge;

namespace {

struct Payload {  // counted: every test proves that nothing leaked and nothing was freed twice
  static std::atomic<int> live;
  explicit Payload(int v) : value(v) { ++live; }
  ~Payload() { --live; }
  int value;
};
std::atomic<int> Payload::live{0};

constexpr UINT kTake = WM_USER + 1, kIgnore = WM_USER + 2, kValue = WM_USER + 3;

// Takes kTake's payload, forgets kIgnore's, keeps kValue's value.
struct BridgeWnd : DuiLib::WindowImplBase {
  std::vector<int> received;
  DWORD handler_thread = 0;
  LPARAM last_value = 0;
  bridge::WindowLifetime lifetime;
  const wchar_t* GetWindowClassName() const override { return L"BridgeTestWnd"; }
  DuiLib::CDuiString GetSkinFolder() override { return L""; }
  DuiLib::CDuiString GetSkinFile() override { return L"<Window size=\"120,80\"><VerticalLayout /></Window>"; }
  LRESULT OnCreate(UINT m, WPARAM w, LPARAM l, BOOL& handled) override {
    LRESULT r = WindowImplBase::OnCreate(m, w, l, handled);
    if (r == 0) lifetime.Attach(m_hWnd);
    return r;
  }
  void OnFinalMessage(HWND h) override {
    lifetime.Expire();
    WindowImplBase::OnFinalMessage(h);
  }
  LRESULT HandleMessage(UINT m, WPARAM w, LPARAM l) override {
    if (auto p = m == kTake ? lifetime.Receive<Payload>(l) : nullptr; m == kTake)
      received.push_back(p ? p->value : -1), handler_thread = GetCurrentThreadId();
    if (m == kValue) last_value = l;
    return m == kTake || m == kIgnore || m == kValue ? 0 : WindowImplBase::HandleMessage(m, w, l);
  }
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
  static void OnCoreThread(std::function<void()> fn) {  // while this thread pumps messages
    std::atomic<bool> done{false};
    std::thread core([&] { fn(), done = true; });
    EXPECT_TRUE(testkit::PumpUntil([&] { return done.load(); }, 20000));
    core.join();
  }
  std::unique_ptr<BridgeWnd> wnd_;
};

}  // namespace

TEST_F(BridgeTest, PostAndSendDeliverOnTheUiThreadAndFreeEveryPayloadOnce) {
  bridge::WindowRef ref = wnd_->lifetime.Ref();
  std::thread([ref] {
    EXPECT_TRUE(bridge::Post(ref, kTake, std::make_unique<Payload>(7)));
    EXPECT_TRUE(bridge::PostValue(ref, kValue, -1));
  }).join();
  EXPECT_EQ(Payload::live.load(), 1);  // queued, owned by nobody but the queue
  ASSERT_TRUE(testkit::PumpUntil([&] { return wnd_->last_value == -1; }));
  EXPECT_EQ(wnd_->handler_thread, GetCurrentThreadId());
  bool handled_before_return = false;
  OnCoreThread([&, ref, wnd = wnd_.get()] {
    EXPECT_TRUE(bridge::Send(ref, kTake, std::make_unique<Payload>(3)));
    handled_before_return = wnd->received.size() == 2;
    EXPECT_TRUE(bridge::Send(ref, kIgnore, std::make_unique<Payload>(9)));  // not taken: the sender frees it
  });
  EXPECT_TRUE(handled_before_return);
  EXPECT_EQ(wnd_->received, (std::vector<int>{7, 3}));
  EXPECT_EQ(Payload::live.load(), 0);  // the ignored one too, with the window still there
}

TEST_F(BridgeTest, PayloadsForAClosedWindowAreFreedWithoutTouchingIt) {
  bridge::WindowRef ref = wnd_->lifetime.Ref();
  std::thread([ref] {
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(bridge::Post(ref, kTake, std::make_unique<Payload>(i)));
  }).join();
  DestroyWindow(wnd_->GetHWND());  // before the loop dispatched anything: the queued ones are freed
  EXPECT_EQ(Payload::live.load(), 0);
  EXPECT_TRUE(wnd_->received.empty());
  wnd_.reset();  // the window object is gone too
  EXPECT_FALSE(ref.alive());
  std::thread([ref] {
    EXPECT_FALSE(bridge::Post(ref, kTake, std::make_unique<Payload>(1)));
    EXPECT_FALSE(bridge::Send(ref, kTake, std::make_unique<Payload>(2)));
    EXPECT_FALSE(bridge::PostValue(ref, kValue, 5));
    EXPECT_FALSE(bridge::SendValue(ref, kValue, 5));
  }).join();
}

TEST_F(BridgeTest, ManyCallbacksRacingAClosingWindowFreeEverythingExactlyOnce) {
  bridge::WindowRef ref = wnd_->lifetime.Ref();
  std::vector<std::thread> cores;
  for (int t = 0; t < 4; ++t)
    cores.emplace_back([ref, t] {
      for (int i = 0; i < 250; ++i)
        (i % 2 ? bridge::Post<Payload> : bridge::Send<Payload>)(ref, kTake, std::make_unique<Payload>(t * 1000 + i));
    });
  // Let some through, then close the window while the cores go on; senders blocked on it return once it is gone.
  testkit::PumpUntil([&] { return wnd_->received.size() >= 50; }, 5000);
  DestroyWindow(wnd_->GetHWND());
  OnCoreThread([&] {
    for (auto& c : cores) c.join();
  });
  EXPECT_GE(wnd_->received.size(), 50u);
}
