/* A game written in C against tolba.h alone: initialise against the sandbox, log
 * in by touching and typing in the SDK's panels through the host calls, pay with
 * platform coins, and check the notifications. The sandbox's address, account and
 * password come from the environment (with_sandbox.sh sets them). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "tolba/tolba.h"

#define CHECK(cond)                                                         \
  do {                                                                      \
    if (!(cond)) {                                                          \
      fprintf(stderr, "c_journey: %s:%d: %s\n", __FILE__, __LINE__, #cond); \
      exit(1);                                                              \
    }                                                                       \
  } while (0)

typedef struct {
  char names[32][40];
  char payloads[32][1024];
  int count;
} heard_t;

static void on_notification(const char* name, const char* payload, void* user_data) {
  heard_t* heard = (heard_t*)user_data;
  printf("notification %s\n", name); /* not the payload: it carries the token */
  if (heard->count < 32) {
    snprintf(heard->names[heard->count], sizeof heard->names[0], "%s", name);
    snprintf(heard->payloads[heard->count], sizeof heard->payloads[0], "%s", payload);
    heard->count++;
  }
}

static int heard_of(const heard_t* heard, const char* name, const char* fragment) {
  for (int i = 0; i < heard->count; ++i) {
    if (strcmp(heard->names[i], name) == 0 && strstr(heard->payloads[i], fragment) != NULL) return 1;
  }
  return 0;
}

static double now_seconds(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

/* Ticks (as frames would) until `name` with `fragment` was heard, or 20 s pass
 * waiting on the sandbox's replies. */
static int tick_until_heard(tolba_sdk* sdk, const heard_t* heard, const char* name, const char* fragment) {
  const double deadline = now_seconds() + 20;
  while (!heard_of(heard, name, fragment)) {
    if (now_seconds() > deadline) return 0;
    CHECK(tolba_sdk_tick(sdk, NULL) == TOLBA_OK);
    struct timespec frame = {0, 2000000};
    nanosleep(&frame, NULL);
  }
  return 1;
}

/* Finds the element of `kind` showing `text` in the host's element list (keys come
 * sorted: focused, height, kind, on, text, width, x, y) and gives its centre. */
static int find_element(tolba_sdk* sdk, const char* kind, const char* text, double* cx, double* cy) {
  static char list[65536];
  size_t length = 0;
  if (tolba_host_elements(sdk, list, sizeof list, &length) != TOLBA_OK) return 0;
  char needle[256];
  snprintf(needle, sizeof needle, "\"kind\":\"%s\",\"on\":", kind);
  char wanted[256];
  snprintf(wanted, sizeof wanted, "\"text\":\"%s\"", text);
  for (const char* at = strstr(list, needle); at != NULL; at = strstr(at + 1, needle)) {
    const char* start = at;
    while (start > list && *start != '{') --start;
    const char* end = strchr(at, '}');
    const char* t = strstr(at, wanted);
    if (end == NULL || t == NULL || t > end) continue;
    const double height = strtod(strstr(start, "\"height\":") + 9, NULL);
    const double width = strtod(strstr(at, "\"width\":") + 8, NULL);
    const double x = strtod(strstr(at, "\"x\":") + 4, NULL);
    const double y = strtod(strstr(at, "\"y\":") + 4, NULL);
    *cx = x + width / 2;
    *cy = y + height / 2;
    return 1;
  }
  return 0;
}

static void tap(tolba_sdk* sdk, const char* kind, const char* text) {
  double x = 0, y = 0;
  const double deadline = now_seconds() + 20;
  while (now_seconds() < deadline && !find_element(sdk, kind, text, &x, &y)) {
    struct timespec wait = {0, 5000000};
    nanosleep(&wait, NULL);
    CHECK(tolba_sdk_tick(sdk, NULL) == TOLBA_OK);
  }
  if (!find_element(sdk, kind, text, &x, &y)) {
    fprintf(stderr, "c_journey: no %s \"%s\" on screen\n", kind, text);
    exit(1);
  }
  int32_t taken = 0;
  CHECK(tolba_host_touch(sdk, 1, TOLBA_TOUCH_BEGAN, x, y, &taken) == TOLBA_OK && taken);
  CHECK(tolba_host_touch(sdk, 1, TOLBA_TOUCH_ENDED, x, y, &taken) == TOLBA_OK && taken);
  CHECK(tolba_sdk_tick(sdk, NULL) == TOLBA_OK);
}

static void type_into(tolba_sdk* sdk, const char* placeholder, const char* text) {
  tap(sdk, "field", placeholder);
  int32_t taken = 0;
  CHECK(tolba_host_text_input(sdk, text, &taken) == TOLBA_OK && taken);
}

static void write_config(const char* dir, const char* url) {
  char path[1024];
  snprintf(path, sizeof path, "%s/Tolba.plist", dir);
  FILE* f = fopen(path, "w");
  CHECK(f != NULL);
  fprintf(f,
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          "<plist version=\"1.0\"><dict><key>gameid</key><string>1001</string>"
          "<key>url</key><string>%s</string></dict></plist>\n",
          url);
  fclose(f);
}

int main(void) {
  const char* url = getenv("TOLBA_TEST_BASE_URL");
  const char* dir = getenv("TOLBA_TEST_DIR");
  const char* account = getenv("TOLBA_TEST_ACCOUNT");
  const char* password = getenv("TOLBA_TEST_PASSWORD");
  CHECK(url && dir && account && password);
  /* the installed headers and the library are one release */
  CHECK(tolba_version() == TOLBA_VERSION && strcmp(tolba_version_string(), TOLBA_VERSION_STRING) == 0);
  write_config(dir, url);

  heard_t heard;
  memset(&heard, 0, sizeof heard);
  tolba_sdk* sdk = NULL;
  CHECK(tolba_sdk_create(&sdk) == TOLBA_OK);
  CHECK(tolba_sdk_set_directories(sdk, dir, dir) == TOLBA_OK);
  CHECK(tolba_sdk_set_notification_callback(sdk, on_notification, &heard) == TOLBA_OK);
  const tolba_screen screen = {375, 667, 2, 20, 0, 0, 0, TOLBA_ORIENTATION_PORTRAIT};
  CHECK(tolba_host_set_screen(sdk, &screen) == TOLBA_OK);

  CHECK(tolba_sdk_login(sdk) == TOLBA_ERR_NOT_INITIALISED);
  CHECK(tolba_sdk_init(sdk, "{\"gameid\":\"1001\"}") == TOLBA_OK);
  CHECK(tick_until_heard(sdk, &heard, TOLBA_NOTI_INIT_DID_FINISHED, "\"error\":0"));

  /* The login panel: account, password, consent, login. */
  CHECK(tolba_sdk_login(sdk) == TOLBA_OK);
  CHECK(tolba_sdk_tick(sdk, NULL) == TOLBA_OK);
  int32_t has_content = 0;
  CHECK(tolba_host_has_content(sdk, &has_content) == TOLBA_OK && has_content);
  type_into(sdk, "请输入账号", account);
  type_into(sdk, "请输入密码", password);
  int32_t taken = 0; /* Return puts the keyboard away: it covers the login button */
  CHECK(tolba_host_key(sdk, TOLBA_KEY_RETURN, &taken) == TOLBA_OK);
  int32_t wants_text = 1;
  CHECK(tolba_host_wants_text_input(sdk, &wants_text) == TOLBA_OK && !wants_text);
  tap(sdk, "switch", "");
  tap(sdk, "button", "登录");
  /* The account has a verified identity: no real-name panel. */
  CHECK(tick_until_heard(sdk, &heard, TOLBA_NOTI_LOGIN, "\"error\":0"));
  CHECK(tick_until_heard(sdk, &heard, TOLBA_NOTI_REAL_AUTH, "\"isRealName\":\"1\""));
  char session[2048];
  CHECK(tolba_sdk_session(sdk, session, sizeof session, NULL) == TOLBA_OK);
  CHECK(strstr(session, "\"username\"") != NULL && strstr(session, "\"token\"") != NULL);

  CHECK(tolba_sdk_update_role(sdk, "{\"serverId\":\"s1\",\"gameRoleID\":\"r1\",\"gameRoleName\":\"Hero\"}", 1) ==
        TOLBA_OK);

  /* Pay one yuan with platform coins. */
  CHECK(tolba_sdk_pay(sdk,
                      "{\"cpOrderID\":\"c-journey-1\",\"productName\":\"Gems\",\"count\":10,\"amount\":1,"
                      "\"goodsID\":\"g1\"}",
                      "{\"serverId\":\"s1\",\"gameRoleID\":\"r1\",\"gameRoleName\":\"Hero\"}") == TOLBA_OK);
  tap(sdk, "button", "支付1平台币");
  CHECK(tick_until_heard(sdk, &heard, TOLBA_NOTI_RECHARGE, "\"cpOrderId\":\"c-journey-1\""));
  CHECK(heard_of(&heard, TOLBA_NOTI_RECHARGE, "\"error\":0"));
  CHECK(heard_of(&heard, TOLBA_NOTI_RECHARGE, "\"orderId\""));

  CHECK(tolba_sdk_logout(sdk) == TOLBA_OK);
  CHECK(tick_until_heard(sdk, &heard, TOLBA_NOTI_LOGOUT, "\"error\":0"));
  CHECK(tolba_sdk_destroy(sdk) == TOLBA_OK);
  printf("c_journey: passed\n");
  return 0;
}
