// The public facade: each call goes to the facade's state in TolbaSDKCore; the
// application-delegate hooks are inert.
#include "platform/main_thread_check.h"
#include "sdk/TolbaSDKCore.h"

namespace tolba {

std::shared_ptr<TolbaSDK> TolbaSDK::defaultInstance() {
  static auto* instance = new std::shared_ptr<TolbaSDK>(new TolbaSDK());  // never destroyed
  return *instance;
}

namespace {
// Every call that reaches the facade's state belongs to the main thread.
TolbaSDKCore& core(const char* call = __builtin_FUNCTION()) {
  platform::checkMainThread("TolbaSDK", call);
  return *TolbaSDKCore::shared();
}
}  // namespace

std::int32_t TolbaSDK::initWithConfig(std::shared_ptr<TolbaSDKInitConfig> config, platform::Application* application,
                                      const Json& launchOptions) {
  return core().initWithConfig(std::move(config), application, launchOptions);
}
std::string TolbaSDK::channelType() { return core().channelType(); }
std::int32_t TolbaSDK::login() { return core().login(); }
std::int32_t TolbaSDK::logout() { return core().logout(); }
std::int32_t TolbaSDK::realAuth() { return core().realAuth(); }
std::optional<std::string> TolbaSDK::username() const { return core().username(); }
std::optional<std::string> TolbaSDK::token() const { return core().token(); }
std::optional<std::string> TolbaSDK::logintime() const { return core().logintime(); }
std::optional<TolbaSDK::Json> TolbaSDK::realNameInfo() const { return core().realNameInfo(); }
void TolbaSDK::updateRoleInfoWith(std::shared_ptr<TolbaSDKGameRoleInfo> role, bool isCreate) {
  core().updateRoleInfoWith(std::move(role), isCreate);
}
std::int32_t TolbaSDK::payOrderInfo(std::shared_ptr<TolbaSDKPayOrderInfo> order,
                                    std::shared_ptr<TolbaSDKGameRoleInfo> role) {
  return core().payOrderInfo(std::move(order), std::move(role));
}
std::int32_t TolbaSDK::showToolBar(std::int32_t place) { return core().showToolBar(place); }
std::int32_t TolbaSDK::hideToolBar() { return core().hideToolBar(); }
std::int32_t TolbaSDK::enterUserCenter() { return 0; }
std::uint64_t TolbaSDK::applicationSupportedInterfaceOrientationsForWindow(platform::Application* application,
                                                                           platform::Window* window) {
  return core().applicationSupportedInterfaceOrientationsForWindow(application, window);
}

bool TolbaSDK::openURLApplication(const std::string&, platform::Application*) { return false; }
bool TolbaSDK::openURLSourceApplicationApplicationAnnotation(const std::string&, const std::string&,
                                                             platform::Application*, const Json&) {
  return false;
}
bool TolbaSDK::openURLApplicationOptions(const std::string&, platform::Application*, const Json&) { return false; }
bool TolbaSDK::applicationDidRegisterForRemoteNotificationsWithDeviceToken(platform::Application*, const std::string&) {
  return false;
}
bool TolbaSDK::applicationDidFailToRegisterForRemoteNotificationsWithError(platform::Application*, const std::string&) {
  return false;
}
bool TolbaSDK::applicationDidReceiveRemoteNotification(platform::Application*, const Json&) { return false; }
bool TolbaSDK::applicationWillResignActive(platform::Application*) { return false; }
bool TolbaSDK::applicationDidEnterBackground(platform::Application*) { return false; }
bool TolbaSDK::applicationWillEnterForeground(platform::Application*) { return false; }
bool TolbaSDK::applicationDidBecomeActive(platform::Application*) { return false; }
bool TolbaSDK::applicationWillTerminate(platform::Application*) { return false; }
bool TolbaSDK::applicationContinueUserActivityRestorationHandler(platform::Application*, const Json&,
                                                                 const std::function<void(const Json&)>&) {
  return false;  // the handler is never called
}

}  // namespace tolba
