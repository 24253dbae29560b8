#include "options.h"

#include <cstdlib>
#include <iostream>

#include "device.h"

namespace tolba::sim {

const char kUsage[] =
    "usage: tolba-sim [options]\n"
    "  A phone-sized game window hosting the Tolba SDK. Its buttons call the SDK as a\n"
    "  game would; the mouse is the finger and the keyboard types into the SDK's fields.\n"
    "  --device NAME      standard (375x667 @2, default), small, plus, notch (safe-area insets)\n"
    "  --landscape        start on its side (L or the scene's button turns it)\n"
    "  --base-url URL     use this server instead of the embedded sandbox\n"
    "  --autoplay         a scripted player plays the whole journey in the window\n"
    "  --script FILE      play the input events of FILE (see the README)\n"
    "  --screenshot DIR   write a PNG of the window after each step (F12: one now)\n"
    "  --quit             exit when the journey or script ends, with its status\n"
    "  --speed X          how fast the scripted player moves (default 1; --fast = 8)\n"
    "  --zoom X           window pixels per screen pixel (default: fit the display)\n"
    "  --no-panel         no side panel (the terminal still shows everything)\n"
    "  --repeat N         play the journey N times in a row (with --autoplay)\n"
    "  --stats            print frame and redraw counters, and the SDK's work per frame, on exit\n"
    "  --stats-file FILE  write them as JSON\n"
    "  --fault PATH,MODE,COUNT[,SECONDS]  a fault of the embedded sandbox\n"
    "  --verbose          also print the SDK's own log lines\n";

namespace {

bool number(const std::string& text, double* out) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(value > 0) || value > 100) return false;
  *out = value;
  return true;
}

}  // namespace

std::optional<Options> parseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string text;
    if (arg == "--autoplay") {
      options.autoplay = true;
    } else if (arg == "--quit") {
      options.quit = true;
    } else if (arg == "--fast") {
      options.speed = 8;
    } else if (arg == "--landscape") {
      options.landscape = true;
    } else if (arg == "--no-panel") {
      options.panel = false;
    } else if (arg == "--stats") {
      options.stats = true;
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else if (arg == "--device" && value(&text)) {
      if (!findDevice(text)) {
        std::cerr << "tolba-sim: no device \"" << text << "\"\n";
        return std::nullopt;
      }
      options.device = text;
    } else if (arg == "--base-url" && value(&text)) {
      while (!text.empty() && text.back() == '/') text.pop_back();
      if (text.empty()) return std::nullopt;
      options.baseUrl = text;
    } else if (arg == "--script" && value(&text)) {
      options.script = text;
    } else if (arg == "--screenshot" && value(&text)) {
      options.screenshotDir = text;
    } else if (arg == "--stats-file" && value(&text)) {
      options.statsFile = text;
    } else if (arg == "--fault" && value(&text)) {
      options.faults.push_back(text);
    } else if (arg == "--repeat" && value(&text)) {
      double n = 0;
      if (!number(text, &n) || n != static_cast<int>(n)) {
        std::cerr << "tolba-sim: --repeat wants a whole number from 1 to 100, not \"" << text << "\"\n";
        return std::nullopt;
      }
      options.repeat = static_cast<int>(n);
    } else if ((arg == "--speed" || arg == "--zoom") && value(&text)) {
      double x = 0;
      if (!number(text, &x)) {
        std::cerr << "tolba-sim: " << arg << " wants a positive number, not \"" << text << "\"\n";
        return std::nullopt;
      }
      (arg == "--speed" ? options.speed : options.zoom) = x;
    } else {
      if (arg != "--help" && arg != "-h") std::cerr << "tolba-sim: unknown or incomplete argument \"" << arg << "\"\n";
      return std::nullopt;
    }
  }
  if (options.repeat > 1 && !options.autoplay) {
    std::cerr << "tolba-sim: --repeat is for --autoplay\n";
    return std::nullopt;
  }
  if (options.autoplay && options.script) {
    std::cerr << "tolba-sim: --autoplay and --script do not go together\n";
    return std::nullopt;
  }
  return options;
}

}  // namespace tolba::sim
