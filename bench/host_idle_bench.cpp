// What an idle SDK costs a game per frame: one tick of the main run loop plus
// the two drawing questions, with the login panel and the floating button on
// screen and nothing changing. The budget is 5 microseconds.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

#include "tolba/TolbaHost.h"
#include "tolba/platform/run_loop.h"
#include "ui/TolbaFloatView.h"
#include "ui/TolbaLoginView.h"

namespace {

using tolba::TolbaHost;
using tolba::platform::RunLoop;

constexpr double kBudgetMicroseconds = 5.0;
double lastFrameMicroseconds = 0;  // per frame, from the last (longest) run

void IdleFrame(benchmark::State& state) {
  auto& host = TolbaHost::shared();
  auto& loop = RunLoop::main();
  host.didDraw();
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    loop.tick();
    const bool content = host.hasContent();
    const bool redraw = host.needsRedraw();
    benchmark::DoNotOptimize(content);
    benchmark::DoNotOptimize(redraw);
    if (redraw) host.didDraw();  // never, when idle
  }
  const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
  if (state.iterations() > 0) lastFrameMicroseconds = spent.count() / static_cast<double>(state.iterations());
  if (!host.hasContent()) state.SkipWithError("the SDK shows nothing: not the frame this measures");
}
BENCHMARK(IdleFrame);

}  // namespace

int main(int argc, char** argv) {
  auto& host = TolbaHost::shared();
  host.setScreen({});  // 375 x 667 portrait at scale 2
  auto panel = tolba::TolbaLoginView::present([](const nlohmann::json&) {});
  tolba::TolbaFloatView::shareInstance()->showFloat();
  // Let the floating button park (one second, then half a second of sliding).
  RunLoop::main().runFor(tolba::platform::Duration(1.6));
  host.didDraw();

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("budget idle-frame: %.3f us (limit %g) %s\n", lastFrameMicroseconds, kBudgetMicroseconds,
              lastFrameMicroseconds < kBudgetMicroseconds ? "met" : "missed");
  return 0;
}
