// Redrawing the SDK's layer with a full-screen panel (the login panel over the
// whole screen) at scale 2: 750 x 1334 pixels into a game's RGBA buffer, as a
// frame does when the layer changed. Ends with the budget line, on the median
// CPU time of the drawing thread (drawing uses no other thread; on this shared
// machine the wall-clock time also counts the other jobs' turns):
//   budget render-full-panel: <median> ms (limit 4) met|missed
// and a frame in the middle of a toast's fade over that panel, where only the
// toast is redrawn into the buffer drawn last:
//   budget toast-fade-frame: <median> ms (limit 0.3) met|missed
//   budget toast-fade-region: <share of the screen> % (limit 10) met|missed
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/test_access.h"
#include "tolba/TolbaLayer.h"
#include "tolba/platform/run_loop.h"
#include "toolkit/application.h"
#include "toolkit/keyboard.h"
#include "toolkit/text_field.h"
#include "toolkit/window.h"
#include "ui/TolbaLoginView.h"
#include "ui/TolbaMsg.h"

namespace {

constexpr double kLimitMs = 4;
constexpr double kToastLimitMs = 0.3;
constexpr double kToastRegionLimit = 10;  // percent of the screen
double toastRegionPercent = -1;

struct Scene {
  std::shared_ptr<tolba::platform::Window> window;
  std::vector<std::uint8_t> pixels;
  tolba::TolbaPixelBuffer buffer;

  Scene() {
    // The toast's fade is driven by hand.
    tolba::platform::PlatformTestAccess::setClock(tolba::platform::RunLoop::main(),
                                                  std::make_shared<tolba::platform::ManualClock>());
    auto& app = tolba::platform::Application::shared();
    app.setMainScreenBounds({0, 0, 375, 667});
    app.setScreenScale(2);
    tolba::TolbaLayer::installTextMeasurer();
    window = std::make_shared<tolba::platform::Window>(app.mainScreenBounds());
    window->setRootView(std::make_shared<tolba::platform::View>());
    window->makeKeyAndVisible();
    window->addSubview(tolba::TolbaBaseView::create<tolba::TolbaLoginView>(app.mainScreenBounds()));
    pixels.assign(750 * 1334 * 4, 0);
    buffer = {pixels.data(), 750, 1334, 750 * 4};
  }
};

Scene& scene() {
  static Scene s;
  return s;
}

void RenderFullPanel(benchmark::State& state) {
  auto& s = scene();
  for (auto _ : state) {
    tolba::TolbaHost::shared().redrawAll();
    if (!tolba::TolbaLayer::drawInto(s.buffer)) state.SkipWithError("drawInto failed");
    benchmark::DoNotOptimize(s.pixels.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(RenderFullPanel)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// A toast over the panel, half way through its 2 s fade (which starts 0.3 s
// after it appears): each frame moves the clock on by a frame and redraws.
void ToastFadeFrame(benchmark::State& state) {
  auto& s = scene();
  auto clock = tolba::platform::RunLoop::main().manualClock();
  static const bool shown = [&] {  // one toast, however often the benchmark runs this
    clock->set(tolba::platform::TimePoint{0});
    tolba::TolbaMsg::showMessage(std::string("支付成功"), s.window);
    return true;
  }();
  (void)shown;
  tolba::TolbaHost::shared().redrawAll();
  tolba::TolbaLayer::drawInto(s.buffer);
  double t = 1.3;
  double pixels = 0, frames = 0;
  for (auto _ : state) {
    t = t < 1.4 ? t + 1.0 / 60 : 1.3;  // stays mid-fade however long it runs
    clock->set(tolba::platform::TimePoint{t});
    if (!tolba::TolbaLayer::drawInto(s.buffer)) state.SkipWithError("drawInto failed");
    const auto r = tolba::TolbaLayer::lastDrawnRect();
    pixels += double(r.width) * r.height;
    frames += 1;
    benchmark::ClobberMemory();
  }
  toastRegionPercent = frames > 0 ? 100 * pixels / (frames * s.buffer.width * s.buffer.height) : -1;
}
BENCHMARK(ToastFadeFrame)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

// The keyboard rising under the login panel, half way up: each frame moves the
// clock on by a frame and redraws what the keyboard's move touched.
void KeyboardSlideFrame(benchmark::State& state) {
  auto& s = scene();
  auto clock = tolba::platform::RunLoop::main().manualClock();
  static const bool risen = [&] {
    clock->set(tolba::platform::TimePoint{100});
    for (const auto& view : s.window->subviews()) {
      if (auto panel = std::dynamic_pointer_cast<tolba::TolbaLoginView>(view)) panel->nameF()->becomeFirstResponder();
    }
    return true;
  }();
  (void)risen;
  tolba::TolbaHost::shared().redrawAll();
  tolba::TolbaLayer::drawInto(s.buffer);
  const double start = 100 + tolba::platform::Keyboard::kAnimationDuration * 0.3;
  double t = start;
  for (auto _ : state) {
    t = t < start + 0.1 ? t + 1.0 / 60 : start;
    clock->set(tolba::platform::TimePoint{t});
    if (!tolba::TolbaLayer::drawInto(s.buffer)) state.SkipWithError("drawInto failed");
    benchmark::ClobberMemory();
  }
}
BENCHMARK(KeyboardSlideFrame)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

// The console report, and the medians kept for the budget lines.
class BudgetReporter : public benchmark::ConsoleReporter {
 public:
  double medianMs = -1;
  double toastMedianUs = -1;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.aggregate_name != "median") continue;
      if (run.run_name.function_name == "RenderFullPanel") medianMs = run.GetAdjustedCPUTime();
      if (run.run_name.function_name == "ToastFadeFrame") toastMedianUs = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  scene();  // fonts and the panel outside the timed loop
  BudgetReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (reporter.medianMs >= 0) {
    std::printf("budget render-full-panel: %.2f ms (limit 4) %s\n", reporter.medianMs,
                reporter.medianMs < kLimitMs ? "met" : "missed");
  }
  if (reporter.toastMedianUs >= 0) {
    const double ms = reporter.toastMedianUs / 1000;
    std::printf("budget toast-fade-frame: %.3f ms (limit %.1f) %s\n", ms, kToastLimitMs,
                ms < kToastLimitMs ? "met" : "missed");
    std::printf("budget toast-fade-region: %.1f %% (limit %.0f) %s\n", toastRegionPercent, kToastRegionLimit,
                toastRegionPercent >= 0 && toastRegionPercent < kToastRegionLimit ? "met" : "missed");
  }
  return 0;
}
