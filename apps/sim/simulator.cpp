#include "simulator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include <nlohmann/json.hpp>

#include "tolba/TolbaLayer.h"
#include "tolba/platform/run_loop.h"

namespace tolba::sim {
namespace {

constexpr double kFrameSeconds = 1.0 / 60;
constexpr int kPanelWidth = 440;
constexpr double kPanelFontSize = 11;
constexpr int kCursorSize = 44;
constexpr std::int64_t kMouseFinger = 1;
constexpr std::int64_t kWheelFinger = 2;
// How far one notch of the wheel scrolls, in points.
constexpr double kWheelPoints = 40;

SDL_Texture* textureFor(SDL_Renderer* renderer, cairo_surface_t* surface, SDL_Texture* reuse) {
  const int w = cairo_image_surface_get_width(surface);
  const int h = cairo_image_surface_get_height(surface);
  int tw = 0, th = 0;
  if (reuse && SDL_QueryTexture(reuse, nullptr, nullptr, &tw, &th) == 0 && tw == w && th == h) {
    // reuse
  } else {
    if (reuse) SDL_DestroyTexture(reuse);
    reuse = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, w, h);
  }
  if (!reuse) return nullptr;
  cairo_surface_flush(surface);
  SDL_UpdateTexture(reuse, nullptr, cairo_image_surface_get_data(surface), cairo_image_surface_get_stride(surface));
  return reuse;
}

}  // namespace

double nowSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

Simulator::Simulator(const Options& options, std::string baseUrl)
    : options_(options),
      baseUrl_(std::move(baseUrl)),
      device_(findDevice(options.device) ? findDevice(options.device) : &defaultDevice()),
      landscape_(options.landscape),
      screen_(screenOf(*device_, landscape_)) {
  game_ = std::make_unique<Game>(console_);
  sheet_ = std::make_unique<WeChatSheet>(baseUrl_, console_, [] { TolbaHost::shared().didBecomeActive(); });
  panelWidth_ = options.panel ? kPanelWidth : 0;
}

Simulator::~Simulator() {
  setTolbaTrafficObserver(nullptr);
  TolbaHost::shared().setOpenURLHandler(nullptr);
  for (auto* t : {sceneTexture_, layerTexture_, sheetTexture_, panelTexture_, cursorTexture_}) {
    if (t) SDL_DestroyTexture(t);
  }
  if (renderer_) SDL_DestroyRenderer(renderer_);
  if (window_) SDL_DestroyWindow(window_);
  SDL_Quit();
}

std::uint32_t Simulator::windowId() const { return window_ ? SDL_GetWindowID(window_) : 0; }

int Simulator::phoneWidthPx() const { return static_cast<int>(std::lround(screen_.width * pixelsPerPoint())); }
int Simulator::phoneHeightPx() const { return static_cast<int>(std::lround(screen_.height * pixelsPerPoint())); }

Point Simulator::toPoints(int x, int y) const { return {x / pixelsPerPoint(), y / pixelsPerPoint()}; }

bool Simulator::open() {
  // A touch screen's fingers arrive as the mouse (one finger, like the mouse).
  SDL_SetHint(SDL_HINT_MOUSE_TOUCH_EVENTS, "0");
  SDL_SetHint(SDL_HINT_TOUCH_MOUSE_EVENTS, "1");
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "1");
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    std::cerr << "tolba-sim: SDL could not start: " << SDL_GetError() << "\n";
    return false;
  }
  // Fit the phone, in either orientation, on the display.
  zoom_ = options_.zoom;
  if (zoom_ <= 0) {
    SDL_Rect usable{0, 0, 1280, 800};
    SDL_GetDisplayUsableBounds(0, &usable);
    const double longest = std::max(device_->width, device_->height) * device_->scale;
    zoom_ = std::min({1.0, (usable.h - 60) / longest, (usable.w - panelWidth_) / longest});
    zoom_ = std::max(0.25, std::floor(zoom_ * 20) / 20);
  }
  window_ = SDL_CreateWindow("Tolba SDK simulator", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                             phoneWidthPx() + panelWidth_, phoneHeightPx(), SDL_WINDOW_SHOWN);
  if (!window_) {
    std::cerr << "tolba-sim: no window: " << SDL_GetError() << "\n";
    return false;
  }
  renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_TARGETTEXTURE);
  if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
  if (!renderer_) {
    std::cerr << "tolba-sim: no renderer: " << SDL_GetError() << "\n";
    return false;
  }
  SDL_StopTextInput();
  SDL_RendererInfo info;
  if (options_.verbose && SDL_GetRendererInfo(renderer_, &info) == 0) {
    std::cerr << "tolba-sim: SDL renderer " << info.name << ", window zoom " << zoom_ << "\n";
  }

  // The SDK's layer is premultiplied: source + destination * (1 - source alpha).
  const auto premultiplied =
      SDL_ComposeCustomBlendMode(SDL_BLENDFACTOR_ONE, SDL_BLENDFACTOR_ONE_MINUS_SRC_ALPHA, SDL_BLENDOPERATION_ADD,
                                 SDL_BLENDFACTOR_ONE, SDL_BLENDFACTOR_ONE_MINUS_SRC_ALPHA, SDL_BLENDOPERATION_ADD);
  if (SDL_Texture* probe = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STREAMING, 4, 4)) {
    premultipliedBlend_ = SDL_SetTextureBlendMode(probe, premultiplied) == 0;
    SDL_DestroyTexture(probe);
  }

  // The cursor of the scripted player: a ring (straight alpha for SDL's blending).
  cairo_surface_t* ring = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kCursorSize, kCursorSize);
  cairo_t* cr = cairo_create(ring);
  cairo_arc(cr, kCursorSize / 2.0, kCursorSize / 2.0, kCursorSize / 2.0 - 4, 0, 6.283185307179586);
  cairo_set_source_rgba(cr, 1, 0.3, 0.3, 0.35);
  cairo_fill_preserve(cr);
  cairo_set_source_rgba(cr, 0.9, 0.1, 0.1, 0.95);
  cairo_set_line_width(cr, 3);
  cairo_stroke(cr);
  cairo_destroy(cr);
  cairo_surface_flush(ring);
  auto* px = cairo_image_surface_get_data(ring);
  for (int i = 0; i < kCursorSize * cairo_image_surface_get_stride(ring) / 4; ++i) {
    std::uint8_t* p = px + i * 4;  // B G R A, premultiplied
    if (p[3] > 0 && p[3] < 255) {
      for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(std::min(255, p[c] * 255 / p[3]));
    }
  }
  cursorTexture_ = textureFor(renderer_, ring, nullptr);
  cairo_surface_destroy(ring);
  if (cursorTexture_) SDL_SetTextureBlendMode(cursorTexture_, SDL_BLENDMODE_BLEND);

  // The game tells the SDK about its screen and takes the "weixin://" hand-off;
  // text is measured with the fonts the layer is drawn with.
  TolbaLayer::installTextMeasurer();
  auto& host = TolbaHost::shared();
  host.setScreen(screen_);
  host.setOpenURLHandler([this](const std::string& url) {
    if (!sheet_->open(url)) return false;
    // WeChat is in front now; the game goes to the background.
    platform::postToMain([] { TolbaHost::shared().didEnterBackground(); });
    return true;
  });
  setTolbaTrafficObserver([this](const TolbaTrafficEvent& event) { noteTraffic(event); });
  scene_.layout(screen_);
  return true;
}

void Simulator::play(std::vector<Step> steps) {
  player_ = std::make_unique<Player>(*this, options_.speed);
  player_->load(std::move(steps));
}

void Simulator::noteTraffic(const TolbaTrafficEvent& event) {
  traffic_.push_back(event);
  console_.traffic(event);
  auto& waiting = inFlight_[event.path];
  if (event.kind == "request") {
    waiting.push_back({stats_.frames, nowSeconds()});
  } else if (!waiting.empty()) {
    const auto started = waiting.front();
    waiting.erase(waiting.begin());
    const double seconds = nowSeconds() - started.time;
    if (seconds > stats_.longestSeconds) {
      stats_.longestSeconds = seconds;
      stats_.longestPath = event.path;
      stats_.longestFrames = stats_.frames - started.frame;
    }
  }
}

void Simulator::screenshot(const std::string& name) {
  pendingShot_ = name;
  dirty_ = true;
}

int Simulator::run() {
  running_ = true;
  startTime_ = nowSeconds();
  int status = 0;
  while (running_) {
    const double frameStart = nowSeconds();
    if (player_) player_->update(frameStart);
    SDL_Event event;
    while (SDL_PollEvent(&event)) handle(event);

    const double tickStart = nowSeconds();
    platform::RunLoop::main().tick();
    sdkSeconds_ = nowSeconds() - tickStart;

    // The SDK asks for text while one of its fields is focused.
    const bool wants = TolbaHost::shared().wantsTextInput();
    if (wants != textInputOn_) {
      textInputOn_ = wants;
      // The input method may start a helper process; nothing buffered must be
      // written twice.
      std::fflush(nullptr);
      if (wants) {
        // The input method's candidate window goes under the focused field.
        for (const auto& e : TolbaHost::shared().elements()) {
          if (e.kind != "field" || !e.focused) continue;
          SDL_Rect rect{static_cast<int>(e.x * pixelsPerPoint()), static_cast<int>(e.y * pixelsPerPoint()),
                        static_cast<int>(e.width * pixelsPerPoint()), static_cast<int>(e.height * pixelsPerPoint())};
          SDL_SetTextInputRect(&rect);
        }
        SDL_StartTextInput();
      } else {
        SDL_StopTextInput();
        SDL_RendererInfo info;
        if (options_.verbose && SDL_GetRendererInfo(renderer_, &info) == 0) {
          std::cerr << "tolba-sim: SDL renderer " << info.name << ", window zoom " << zoom_ << "\n";
        }
      }
    }

    render();
    ++stats_.frames;
    stats_.sdkFrameSeconds.push_back(sdkSeconds_);

    if (player_ && player_->finished() && !pendingShot_ && options_.quit) {
      status = player_->failed() || console_.failures() > 0 ? 1 : 0;
      const char* what = options_.autoplay ? "journey" : "script";
      console_.note(std::string("The ") + what + (status == 0 ? " ended as expected." : " did not end as expected."));
      running_ = false;
    }
    const double spent = nowSeconds() - frameStart;
    if (spent < kFrameSeconds) SDL_Delay(static_cast<Uint32>((kFrameSeconds - spent) * 1000));
  }
  stats_.seconds = nowSeconds() - startTime_;
  if (options_.stats) printStats();
  if (options_.statsFile) {
    const FrameCost cost = frameCost(stats_.sdkFrameSeconds);
    nlohmann::json j{
        {"frames", stats_.frames},
        {"sdkFrameMs",
         {{"median", cost.medianMs},
          {"p99", cost.p99Ms},
          {"max", cost.maxMs},
          {"over4ms", cost.over4ms},
          {"over8ms", cost.over8ms}}},
        {"redrawnShare", redrawnShare()},
        {"framesShowingLayer", stats_.framesShowingLayer},
        {"layerRedraws", stats_.layerRedraws},
        {"sceneRedraws", stats_.sceneRedraws},
        {"seconds", stats_.seconds},
        {"longestRequest",
         {{"path", stats_.longestPath}, {"seconds", stats_.longestSeconds}, {"frames", stats_.longestFrames}}},
        {"status", status}};
    std::ofstream(*options_.statsFile) << j.dump(2) << "\n";
  }
  return status;
}

FrameCost frameCost(std::vector<double> seconds) {
  FrameCost cost;
  if (seconds.empty()) return cost;
  std::sort(seconds.begin(), seconds.end());
  auto at = [&](double q) {
    return 1000 * seconds[static_cast<std::size_t>(q * static_cast<double>(seconds.size() - 1))];
  };
  cost.medianMs = at(0.5);
  cost.p99Ms = at(0.99);
  cost.maxMs = 1000 * seconds.back();
  for (double s : seconds) {
    if (s > 0.004) ++cost.over4ms;
    if (s > 0.008) ++cost.over8ms;
  }
  return cost;
}

double Simulator::redrawnShare() const {
  if (stats_.layerRedraws == 0 || stats_.layerPixels == 0) return 0;
  return static_cast<double>(stats_.pixelsRedrawn) /
         (static_cast<double>(stats_.layerRedraws) * static_cast<double>(stats_.layerPixels));
}

void Simulator::printStats() const {
  std::printf(
      "tolba-sim: %llu frames in %.1f s; the SDK's layer was on screen in %llu of them and redrawn %llu times; "
      "the scene was redrawn %llu times\n",
      static_cast<unsigned long long>(stats_.frames), stats_.seconds,
      static_cast<unsigned long long>(stats_.framesShowingLayer), static_cast<unsigned long long>(stats_.layerRedraws),
      static_cast<unsigned long long>(stats_.sceneRedraws));
  const FrameCost cost = frameCost(stats_.sdkFrameSeconds);
  std::printf(
      "tolba-sim: the SDK's work per frame (tick, draw, upload): median %.3f ms, p99 %.3f ms, max %.3f ms; "
      "%llu frames over 4 ms, %llu over 8 ms; a redraw covered %.1f%% of the layer on average\n",
      cost.medianMs, cost.p99Ms, cost.maxMs, static_cast<unsigned long long>(cost.over4ms),
      static_cast<unsigned long long>(cost.over8ms), 100 * redrawnShare());
  const FrameCost draw = frameCost(stats_.drawSeconds);
  const FrameCost upload = frameCost(stats_.uploadSeconds);
  std::printf(
      "tolba-sim: of the redraws, drawing: median %.3f ms, p99 %.3f ms, max %.3f ms; uploading%s: median "
      "%.3f ms, p99 %.3f ms, max %.3f ms\n",
      draw.medianMs, draw.p99Ms, draw.maxMs, premultipliedBlend_ ? "" : " (with straight alpha)", upload.medianMs,
      upload.p99Ms, upload.maxMs);
  if (!stats_.longestPath.empty()) {
    std::printf("tolba-sim: longest request %s: %.2f s, %llu frames drawn meanwhile\n", stats_.longestPath.c_str(),
                stats_.longestSeconds, static_cast<unsigned long long>(stats_.longestFrames));
  }
}

void Simulator::handle(const SDL_Event& event) {
  auto& host = TolbaHost::shared();
  switch (event.type) {
    case SDL_QUIT: running_ = false; break;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_EXPOSED || event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
        dirty_ = true;
      }
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.button == SDL_BUTTON_LEFT) {
        mouseDown(toPoints(event.button.x, event.button.y));
      }
      break;
    case SDL_MOUSEMOTION: mouseMoved(toPoints(event.motion.x, event.motion.y)); break;
    case SDL_MOUSEBUTTONUP:
      if (event.button.button == SDL_BUTTON_LEFT) {
        mouseUp(toPoints(event.button.x, event.button.y));
      }
      break;
    case SDL_MOUSEWHEEL:
      // The wheel scrolls like a short drag of a second finger where the mouse is.
      if (!fingerDown_ && lastMouse_ && !sheet_->visible() && event.wheel.y != 0) {
        const Point p = *lastMouse_;
        const double dy = event.wheel.y * kWheelPoints * (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1);
        host.touch(kWheelFinger, TolbaTouchPhase::Began, p.x, p.y);
        host.touch(kWheelFinger, TolbaTouchPhase::Moved, p.x, p.y + dy / 2);
        host.touch(kWheelFinger, TolbaTouchPhase::Moved, p.x, p.y + dy);
        host.touch(kWheelFinger, TolbaTouchPhase::Ended, p.x, p.y + dy);
      }
      break;
    case SDL_TEXTINPUT: host.textInput(event.text.text); break;
    case SDL_TEXTEDITING: host.textEditing(event.edit.text, event.edit.start); break;
    case SDL_KEYDOWN: key(event.key); break;
    default: break;
  }
}

void Simulator::mouseDown(Point p) {
  lastMouse_ = p;
  if (p.x >= screen_.width || p.y >= screen_.height) return;  // the side panel
  if (sheet_->visible()) {
    fingerOnSheet_ = true;
    return;
  }
  fingerDown_ = true;
  fingerTaken_ = TolbaHost::shared().touch(kMouseFinger, TolbaTouchPhase::Began, p.x, p.y);
  if (!fingerTaken_) {
    if (const auto* b = scene_.hit(p.x, p.y)) {
      scene_.setPressed(b->action);
      sceneDirty_ = true;
    }
  }
}

void Simulator::mouseMoved(Point p) {
  lastMouse_ = p;
  if (!fingerDown_) return;
  TolbaHost::shared().touch(kMouseFinger, TolbaTouchPhase::Moved, p.x, p.y);
  if (scene_.pressed()) {
    const auto* b = scene_.hit(p.x, p.y);
    if (!b || b->action != *scene_.pressed()) {
      scene_.setPressed(std::nullopt);
      sceneDirty_ = true;
    }
  }
}

void Simulator::mouseUp(Point p) {
  lastMouse_ = p;
  if (fingerOnSheet_) {
    fingerOnSheet_ = false;
    sheet_->tap(p.x, p.y, screen_);
    return;
  }
  if (!fingerDown_) return;
  fingerDown_ = false;
  TolbaHost::shared().touch(kMouseFinger, TolbaTouchPhase::Ended, p.x, p.y);
  if (const auto pressed = scene_.pressed()) {
    scene_.setPressed(std::nullopt);
    sceneDirty_ = true;
    const auto* b = scene_.hit(p.x, p.y);
    if (!fingerTaken_ && b && b->action == *pressed) perform(*pressed);
  }
}

void Simulator::key(const SDL_KeyboardEvent& key) {
  auto& host = TolbaHost::shared();
  const bool typing = host.wantsTextInput();
  switch (key.keysym.sym) {
    case SDLK_BACKSPACE: host.key(TolbaKey::Backspace); return;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: host.key(TolbaKey::Return); return;
    case SDLK_TAB: host.key(TolbaKey::Tab); return;
    case SDLK_ESCAPE: host.key(TolbaKey::Escape); return;
    case SDLK_F12: {
      char name[32];
      std::snprintf(name, sizeof name, "shot-%03d", ++shots_);
      screenshot(name);
      return;
    }
    default: break;
  }
  if (typing || (key.keysym.mod & (KMOD_CTRL | KMOD_ALT | KMOD_GUI))) return;
  if (key.keysym.sym == SDLK_l) {
    rotate();
  } else if (key.keysym.sym == SDLK_e) {
    // What the SDK shows, for writing scripts.
    for (const auto& e : host.elements()) {
      std::printf("element %-6s %-24s at %.0f,%.0f size %.0fx%.0f%s%s\n", e.kind.c_str(),
                  ("\"" + shownText(e) + "\"").c_str(), e.x, e.y, e.width, e.height, e.focused ? " focused" : "",
                  e.on ? " on" : "");
    }
    std::fflush(stdout);
  }
}

void Simulator::perform(SceneAction action) {
  switch (action) {
    case SceneAction::Initialise: game_->initialise(); break;
    case SceneAction::Login: game_->login(); break;
    case SceneAction::ReportRole: game_->reportRole(); break;
    case SceneAction::BuyGems: game_->buyGems(); break;
    case SceneAction::BuyMonthlyCard: game_->buyMonthlyCard(); break;
    case SceneAction::Logout: game_->logout(); break;
    case SceneAction::Rotate: rotate(); break;
  }
}

void Simulator::rotate() {
  landscape_ = !landscape_;
  console_.action(landscape_ ? "turns the phone on its side (landscape)" : "turns the phone upright (portrait)");
  screen_ = screenOf(*device_, landscape_);
  TolbaHost::shared().setScreen(screen_);
  scene_.layout(screen_);
  SDL_SetWindowSize(window_, phoneWidthPx() + panelWidth_, phoneHeightPx());
  sceneDirty_ = true;
  sheetRevision_ = ~0ULL;
  panelRevision_ = ~0ULL;
  dirty_ = true;
}

void Simulator::drawScene() {
  const int w = static_cast<int>(std::ceil(screen_.width * screen_.scale));
  const int h = static_cast<int>(std::ceil(screen_.height * screen_.scale));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, screen_.scale, screen_.scale);
  scene_.draw(cr, game_->status());
  cairo_destroy(cr);
  sceneTexture_ = textureFor(renderer_, surface, sceneTexture_);
  cairo_surface_destroy(surface);
  ++stats_.sceneRedraws;
}

void Simulator::drawSheet() {
  const int w = static_cast<int>(std::ceil(screen_.width * screen_.scale));
  const int h = static_cast<int>(std::ceil(screen_.height * screen_.scale));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, screen_.scale, screen_.scale);
  sheet_->draw(cr, screen_);
  cairo_destroy(cr);
  sheetTexture_ = textureFor(renderer_, surface, sheetTexture_);
  cairo_surface_destroy(surface);
}

void Simulator::drawPanel() {
  const int w = panelWidth_;
  const int h = phoneHeightPx();
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0.11, 0.12, 0.14);
  cairo_paint(cr);
  drawText(cr, "What the game sees: requests, replies, notifications", 10, 6, w - 20, 18, 12, true, false, 0.9, 0.9,
           0.9);
  const double lineHeight = kPanelFontSize * 1.45;
  double y = h - lineHeight - 6;
  const auto& lines = console_.lines();
  for (auto it = lines.rbegin(); it != lines.rend() && y > 28; ++it, y -= lineHeight) {
    // How each kind of line looks: its colour and what stands before it.
    struct Look {
      double r, g, b;
      const char* prefix;
    };
    static constexpr Look kLooks[] = {
        {1, 0.85, 0.4, "== "},        // Section
        {0.75, 0.85, 1, "player  "},  // Action
        {0.6, 0.9, 0.6, "→ "},        // Request
        {0.45, 0.75, 0.45, "← "},     // Reply
        {1, 0.6, 0.9, "game ⇐ "},     // Notification
        {1, 0.3, 0.3, "FAILED "},     // Failure
        {0.6, 0.6, 0.6, "   "},       // Note
    };
    static_assert(std::size(kLooks) == static_cast<std::size_t>(LineKind::Note) + 1);
    const Look& look = kLooks[static_cast<std::size_t>(it->kind)];
    drawText(cr, look.prefix + it->text, 10, y, w - 20, lineHeight, kPanelFontSize, it->kind == LineKind::Section,
             false, look.r, look.g, look.b);
  }
  cairo_destroy(cr);
  panelTexture_ = textureFor(renderer_, surface, panelTexture_);
  cairo_surface_destroy(surface);
}

void Simulator::uploadLayer(const TolbaPixelBuffer& buffer, TolbaPixelRect changed) {
  if (!buffer.pixels || buffer.width <= 0 || buffer.height <= 0) return;
  if (!layerTexture_ || layerTextureWidth_ != buffer.width || layerTextureHeight_ != buffer.height) {
    if (layerTexture_) SDL_DestroyTexture(layerTexture_);
    layerTexture_ =
        SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STREAMING, buffer.width, buffer.height);
    if (!layerTexture_) return;
    layerTextureWidth_ = buffer.width;
    layerTextureHeight_ = buffer.height;
    changed = {0, 0, buffer.width, buffer.height};
    if (premultipliedBlend_) {
      SDL_SetTextureBlendMode(
          layerTexture_,
          SDL_ComposeCustomBlendMode(SDL_BLENDFACTOR_ONE, SDL_BLENDFACTOR_ONE_MINUS_SRC_ALPHA, SDL_BLENDOPERATION_ADD,
                                     SDL_BLENDFACTOR_ONE, SDL_BLENDFACTOR_ONE_MINUS_SRC_ALPHA, SDL_BLENDOPERATION_ADD));
    } else {
      SDL_SetTextureBlendMode(layerTexture_, SDL_BLENDMODE_BLEND);
    }
  }
  if (changed.width <= 0 || changed.height <= 0) return;
  const SDL_Rect area{changed.x, changed.y, changed.width, changed.height};
  const std::uint8_t* first =
      buffer.pixels + static_cast<std::size_t>(changed.y) * buffer.stride + static_cast<std::size_t>(changed.x) * 4;
  if (premultipliedBlend_) {
    SDL_UpdateTexture(layerTexture_, &area, first, buffer.stride);
    return;
  }
  // This renderer blends straight alpha only: divide the colours by alpha.
  const std::size_t rowBytes = static_cast<std::size_t>(changed.width) * 4;
  straight_.resize(rowBytes * changed.height);
  for (int y = 0; y < changed.height; ++y) {
    const std::uint8_t* src = first + static_cast<std::size_t>(y) * buffer.stride;
    std::uint8_t* dst = straight_.data() + y * rowBytes;
    for (int x = 0; x < changed.width; ++x, src += 4, dst += 4) {
      const int a = src[3];
      if (a == 0 || a == 255) {
        std::memcpy(dst, src, 4);
      } else {
        for (int c = 0; c < 3; ++c) dst[c] = static_cast<std::uint8_t>(std::min(255, (src[c] * 255 + a / 2) / a));
        dst[3] = static_cast<std::uint8_t>(a);
      }
    }
  }
  SDL_UpdateTexture(layerTexture_, &area, straight_.data(), static_cast<int>(rowBytes));
}

void Simulator::render() {
  auto& host = TolbaHost::shared();
  if (game_->revision() != sceneRevision_) {
    sceneRevision_ = game_->revision();
    sceneDirty_ = true;
  }
  if (sceneDirty_) {
    drawScene();
    sceneDirty_ = false;
    dirty_ = true;
  }
  const bool shown = host.hasContent();
  if (shown) {
    ++stats_.framesShowingLayer;
    if (host.needsRedraw() || !layerTexture_) {
      const double drawStart = nowSeconds();
      const TolbaPixelBuffer& buffer = TolbaLayer::draw();
      const TolbaPixelRect changed = TolbaLayer::lastDrawnRect();
      const double uploadStart = nowSeconds();
      uploadLayer(buffer, changed);
      const double uploadEnd = nowSeconds();
      sdkSeconds_ += uploadEnd - drawStart;
      stats_.drawSeconds.push_back(uploadStart - drawStart);
      stats_.uploadSeconds.push_back(uploadEnd - uploadStart);
      ++stats_.layerRedraws;
      stats_.pixelsRedrawn += static_cast<std::uint64_t>(changed.width) * static_cast<std::uint64_t>(changed.height);
      stats_.layerPixels = static_cast<std::uint64_t>(buffer.width) * static_cast<std::uint64_t>(buffer.height);
      dirty_ = true;
    }
  }
  if (shown != layerShown_) {
    layerShown_ = shown;
    dirty_ = true;
  }
  if (sheet_->revision() != sheetRevision_) {
    sheetRevision_ = sheet_->revision();
    if (sheet_->visible()) drawSheet();
    dirty_ = true;
  }
  if (panelWidth_ > 0 && console_.revision() != panelRevision_) {
    panelRevision_ = console_.revision();
    drawPanel();
    dirty_ = true;
  }
  const auto cursor = player_ ? player_->cursor() : std::nullopt;
  const bool pressing = player_ && player_->pressing();
  if (cursor.has_value() != cursorDrawn_.has_value() ||
      (cursor && (cursor->x != cursorDrawn_->x || cursor->y != cursorDrawn_->y)) || pressing != cursorPressDrawn_) {
    cursorDrawn_ = cursor;
    cursorPressDrawn_ = pressing;
    dirty_ = true;
  }
  if (!dirty_) return;
  dirty_ = false;

  SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
  SDL_RenderClear(renderer_);
  const SDL_Rect phone{0, 0, phoneWidthPx(), phoneHeightPx()};
  if (sceneTexture_) SDL_RenderCopy(renderer_, sceneTexture_, nullptr, &phone);
  if (layerShown_ && layerTexture_) {
    // The layer's pixels cover the screen at its scale; a larger buffer is clipped.
    const SDL_Rect src{0, 0, std::min(layerTextureWidth_, static_cast<int>(std::ceil(screen_.width * screen_.scale))),
                       std::min(layerTextureHeight_, static_cast<int>(std::ceil(screen_.height * screen_.scale)))};
    const SDL_Rect dst{0, 0, static_cast<int>(std::lround(src.w * zoom_)),
                       static_cast<int>(std::lround(src.h * zoom_))};
    SDL_RenderCopy(renderer_, layerTexture_, &src, &dst);
  }
  if (sheet_->visible() && sheetTexture_) SDL_RenderCopy(renderer_, sheetTexture_, nullptr, &phone);
  if (cursorDrawn_ && cursorTexture_) {
    const int size = cursorPressDrawn_ ? kCursorSize * 3 / 4 : kCursorSize;
    const SDL_Rect dst{static_cast<int>(cursorDrawn_->x * pixelsPerPoint()) - size / 2,
                       static_cast<int>(cursorDrawn_->y * pixelsPerPoint()) - size / 2, size, size};
    SDL_RenderCopy(renderer_, cursorTexture_, nullptr, &dst);
  }
  if (panelWidth_ > 0 && panelTexture_) {
    const SDL_Rect dst{phone.w, 0, panelWidth_, phone.h};
    SDL_RenderCopy(renderer_, panelTexture_, nullptr, &dst);
  }
  if (pendingShot_) {
    const std::string dir = options_.screenshotDir.value_or(".");
    const std::string path = (std::filesystem::path(dir) / (*pendingShot_ + ".png")).string();
    if (savePng(path)) {
      console_.note("screenshot " + path);
      // What was on the screen, for tools that check the picture.
      nlohmann::json elements = nlohmann::json::array();
      for (const auto& e : TolbaHost::shared().elements()) {
        elements.push_back({{"kind", e.kind},
                            {"text", shownText(e)},
                            {"x", e.x},
                            {"y", e.y},
                            {"width", e.width},
                            {"height", e.height},
                            {"focused", e.focused},
                            {"on", e.on}});
      }
      nlohmann::json info{{"pixelsPerPoint", pixelsPerPoint()},
                          {"screen", {{"width", screen_.width}, {"height", screen_.height}}},
                          {"elements", elements}};
      std::ofstream(std::filesystem::path(path).replace_extension(".json")) << info.dump(2) << "\n";
    } else {
      console_.note("could not write the screenshot " + path + ": " + SDL_GetError());
    }
    pendingShot_.reset();
  }
  SDL_RenderPresent(renderer_);
}

bool Simulator::savePng(const std::string& path) {
  int w = 0, h = 0;
  if (SDL_GetRendererOutputSize(renderer_, &w, &h) != 0) return false;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  cairo_surface_flush(surface);
  const bool read =
      SDL_RenderReadPixels(renderer_, nullptr, SDL_PIXELFORMAT_XRGB8888, cairo_image_surface_get_data(surface),
                           cairo_image_surface_get_stride(surface)) == 0;
  cairo_surface_mark_dirty(surface);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  const bool ok = read && cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

}  // namespace tolba::sim
