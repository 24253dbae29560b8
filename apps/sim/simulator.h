#pragma once
// The simulator's window and frame loop: the game scene, the SDK's layer over
// it (redrawn only when the SDK says it changed), the stand-in WeChat, the
// side panel, and the input that goes to the SDK through the host interface.

#include <SDL.h>
#include <cairo.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console.h"
#include "device.h"
#include "game.h"
#include "options.h"
#include "player.h"
#include "scene.h"
#include "tolba/TolbaHost.h"
#include "tolba/TolbaTraffic.h"
#include "wechat_sheet.h"

namespace tolba::sim {

// The SDK's work per frame over a run, in milliseconds.
struct FrameCost {
  double medianMs = 0;
  double p99Ms = 0;
  double maxMs = 0;
  std::uint64_t over4ms = 0;
  std::uint64_t over8ms = 0;
};
FrameCost frameCost(std::vector<double> seconds);

struct Stats {
  std::uint64_t frames = 0;
  std::uint64_t framesShowingLayer = 0;  // frames in which the SDK had something on screen
  std::uint64_t layerRedraws = 0;        // times the SDK's layer was drawn and uploaded
  std::uint64_t sceneRedraws = 0;
  double seconds = 0;
  // The request that took longest, and how many frames ran while it was in flight.
  std::string longestPath;
  double longestSeconds = 0;
  std::uint64_t longestFrames = 0;
  // The SDK's work in each frame, as a game pays it: the run loop's tick, the
  // layer's draw and the upload of what changed (seconds).
  std::vector<double> sdkFrameSeconds;
  // The draw and the upload of each redraw, apart (seconds).
  std::vector<double> drawSeconds;
  std::vector<double> uploadSeconds;
  std::uint64_t pixelsRedrawn = 0;  // over all redraws
  std::uint64_t layerPixels = 0;    // of the layer, at the last redraw
};

class Simulator {
 public:
  Simulator(const Options& options, std::string baseUrl);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Opens the window; false (with a message) when SDL cannot.
  bool open();
  // Plays `steps` with the scripted player (autoplay, --script).
  void play(std::vector<Step> steps);
  // The frame loop, until the window closes (or the script ends with --quit).
  // Returns the exit status.
  int run();

  // --- for the scripted player
  const TolbaScreen& screen() const { return screen_; }
  double pixelsPerPoint() const { return screen_.scale * zoom_; }
  std::uint32_t windowId() const;
  const Scene& scene() const { return scene_; }
  const WeChatSheet& sheet() const { return *sheet_; }
  const Game& game() const { return *game_; }
  Console& console() { return console_; }
  const std::vector<TolbaTrafficEvent>& traffic() const { return traffic_; }
  // Saves a PNG of the window at the end of the next frame; `done` gets whether it was written.
  void screenshot(const std::string& name);
  bool takesScreenshots() const { return options_.screenshotDir.has_value(); }
  bool screenshotPending() const { return pendingShot_.has_value(); }
  const Stats& stats() const { return stats_; }

 private:
  void handle(const SDL_Event& event);
  void mouseDown(Point p);
  void mouseMoved(Point p);
  void mouseUp(Point p);
  void key(const SDL_KeyboardEvent& key);
  void perform(SceneAction action);
  void rotate();
  void applyScreen();
  void render();
  void drawScene();
  void drawSheet();
  void drawPanel();
  // Uploads `changed` of the buffer (all of it into a new texture).
  void uploadLayer(const TolbaPixelBuffer& buffer, TolbaPixelRect changed);
  bool savePng(const std::string& path);
  Point toPoints(int x, int y) const;
  int phoneWidthPx() const;
  int phoneHeightPx() const;
  void noteTraffic(const TolbaTrafficEvent& event);
  void printStats() const;
  // The part of the layer a redraw covered, on average.
  double redrawnShare() const;

  Options options_;
  std::string baseUrl_;
  const Device* device_;
  bool landscape_;
  TolbaScreen screen_;
  double zoom_ = 1;
  int panelWidth_ = 0;

  Console console_;
  std::unique_ptr<Game> game_;
  Scene scene_;
  std::unique_ptr<WeChatSheet> sheet_;
  std::unique_ptr<Player> player_;

  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* sceneTexture_ = nullptr;
  SDL_Texture* layerTexture_ = nullptr;
  SDL_Texture* sheetTexture_ = nullptr;
  SDL_Texture* panelTexture_ = nullptr;
  SDL_Texture* cursorTexture_ = nullptr;
  int layerTextureWidth_ = 0, layerTextureHeight_ = 0;
  bool premultipliedBlend_ = false;
  double sdkSeconds_ = 0;               // the SDK's work in the frame being made
  std::vector<std::uint8_t> straight_;  // the layer without premultiplied alpha, when the renderer needs that

  bool running_ = false;
  bool dirty_ = true;
  bool sceneDirty_ = true;
  bool layerShown_ = false;
  std::uint64_t sceneRevision_ = ~0ULL;
  std::uint64_t sheetRevision_ = ~0ULL;
  std::uint64_t panelRevision_ = ~0ULL;
  std::optional<Point> cursorDrawn_;
  bool cursorPressDrawn_ = false;
  bool textInputOn_ = false;

  // The finger (the left mouse button).
  bool fingerDown_ = false;
  bool fingerOnSheet_ = false;
  bool fingerTaken_ = false;  // the SDK took the touch
  std::optional<Point> lastMouse_;

  std::vector<TolbaTrafficEvent> traffic_;
  struct InFlight {
    std::uint64_t frame;
    double time;
  };
  std::map<std::string, std::vector<InFlight>> inFlight_;
  std::optional<std::string> pendingShot_;
  int shots_ = 0;
  Stats stats_;
  double startTime_ = 0;
};

// Seconds on a steady clock.
double nowSeconds();

}  // namespace tolba::sim
