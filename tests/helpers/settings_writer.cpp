// Helper process of the settings crash tests.
//
//   tolba_settings_writer loop PATH
//     Opens the settings in PATH, prints "ready N" (N: the counter it found),
//     then for ever stores record N+1, N+2, ... (a counter and a payload derived
//     from it, as one value), waits for each to reach the disk and prints
//     "wrote N". It is meant to be killed.
//   tolba_settings_writer exit DATA_DIR
//     Stores a value in the standard settings of DATA_DIR, closes them, removes
//     DATA_DIR and exits normally (the exit handlers must not write again).
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "settings_record.h"
#include "tolba/platform/app_environment.h"
#include "tolba/platform/user_defaults.h"

using tolba::platform::UserDefaults;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s loop PATH | exit DATA_DIR\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1];
  if (mode == "loop") {
    UserDefaults defaults(argv[2]);
    long long n = tolba::testing::recordCounter(defaults.objectForKey(tolba::testing::kRecordKey));
    std::printf("ready %lld\n", n);
    std::fflush(stdout);
    for (;;) {
      ++n;
      defaults.setObject(tolba::testing::kRecordKey, tolba::testing::makeRecord(n));
      defaults.flush();
      std::printf("wrote %lld\n", n);
      std::fflush(stdout);
    }
  }
  if (mode == "exit") {
    tolba::platform::setDataDirectory(argv[2]);
    for (int i = 0; i < 20; ++i) UserDefaults::standard()->setObject("PTChannelSdkAccount", std::to_string(i));
    UserDefaults::closeStandard();
    std::error_code ec;
    std::filesystem::remove_all(argv[2], ec);
    return 0;  // exit handlers run here
  }
  return 2;
}
