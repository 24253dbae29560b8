// The C# journey: what a Mono-based engine does with the binding. Initialise
// against the sandbox, log in by touching and typing in the SDK's panels, pay
// with platform coins, log out, and check the events. The sandbox comes from the
// environment (with_sandbox.sh).
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Threading;
using Tolba;

static class CSharpJourney {
  static readonly List<TolbaNotificationEventArgs> heard = new List<TolbaNotificationEventArgs>();

  static void Check(bool condition, string what) {
    if (!condition) throw new Exception("C# journey: " + what);
  }

  static bool Heard(string name, Func<TolbaNotificationEventArgs, bool> match) {
    return heard.Any(n => n.Name == name && match(n));
  }

  // Ticks as frames would until the notification arrives (or 20 s of waiting on the sandbox).
  static void TickUntil(TolbaSDK sdk, string name, Func<TolbaNotificationEventArgs, bool> match) {
    var clock = Stopwatch.StartNew();
    while (!Heard(name, match)) {
      Check(clock.Elapsed.TotalSeconds < 20, "no " + name);
      sdk.Tick();
      Thread.Sleep(2);
    }
  }

  static Dictionary<string, object> Find(TolbaSDK sdk, string kind, string text) {
    var clock = Stopwatch.StartNew();
    while (clock.Elapsed.TotalSeconds < 20) {
      foreach (Dictionary<string, object> e in sdk.Elements()) {
        if ((string)e["kind"] == kind && (string)e["text"] == text) return e;
      }
      sdk.Tick();
      Thread.Sleep(5);
    }
    throw new Exception("C# journey: no " + kind + " \"" + text + "\" on screen");
  }

  static void Tap(TolbaSDK sdk, string kind, string text) {
    var e = Find(sdk, kind, text);
    double x = (double)e["x"] + (double)e["width"] / 2, y = (double)e["y"] + (double)e["height"] / 2;
    Check(sdk.Touch(1, TolbaTouchPhase.Began, x, y) && sdk.Touch(1, TolbaTouchPhase.Ended, x, y), "tap taken: " + text);
    sdk.Tick();
  }

  static int Main() {
    string url = Environment.GetEnvironmentVariable("TOLBA_TEST_BASE_URL");
    string dir = Environment.GetEnvironmentVariable("TOLBA_TEST_DIR");
    File.WriteAllText(Path.Combine(dir, "Tolba.plist"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>gameid</key><string>1001</string>" +
        "<key>url</key><string>" + url + "</string></dict></plist>\n");
    var logLines = 0;
    TolbaSDK.SetLogSink(line => Interlocked.Increment(ref logLines));
    Check(TolbaSDK.Version == 10000 && TolbaSDK.VersionString == "1.0.0", "version");

    using (var sdk = new TolbaSDK()) {
      sdk.Notification += (s, e) => { heard.Add(e); Console.WriteLine("notification " + e.Name + " error " + e.Error); };
      int recharges = 0;
      sdk.NotiRecharge += (s, e) => recharges++;
      Check(sdk.SetDirectories(dir, dir) == TolbaResult.Ok, "directories");
      Check(sdk.SetScreen(new TolbaScreen { Width = 375, Height = 667, Scale = 2, Orientation = 1 }) == TolbaResult.Ok, "screen");
      Check(sdk.Init(new TolbaSDKInitConfig { GameId = "1001" }) == TolbaResult.Ok, "init");
      TickUntil(sdk, "kTolbaSDKNotiInitDidFinished", n => n.Error == 0);

      Check(sdk.Login() == TolbaResult.Ok, "login");
      sdk.Tick();
      Check(sdk.HasContent, "the login panel is on screen");
      Tap(sdk, "field", "请输入账号");
      Check(sdk.TextInput(Environment.GetEnvironmentVariable("TOLBA_TEST_ACCOUNT")), "account typed");
      Tap(sdk, "field", "请输入密码");
      Check(sdk.TextInput(Environment.GetEnvironmentVariable("TOLBA_TEST_PASSWORD")), "password typed");
      sdk.Key(TolbaKey.Return);  // puts the keyboard away: it covers the login button
      Check(!sdk.WantsTextInput, "keyboard away");
      Tap(sdk, "switch", "");
      Tap(sdk, "button", "登录");
      // The account has a verified identity: no real-name panel.
      TickUntil(sdk, "kTolbaSDKNotiLogin", n => n.Error == 0 && n.Payload.ContainsKey("token"));
      TickUntil(sdk, "kTolbaSDKNotiRealAuth", n => (string)n.Payload["isRealName"] == "1");
      Check(sdk.Session().ContainsKey("username"), "signed in");

      var role = new TolbaSDKGameRoleInfo { ServerId = "s1", GameRoleID = "r1", GameRoleName = "Hero" };
      Check(sdk.UpdateRoleInfo(role, true) == TolbaResult.Ok, "role report");
      var order = new TolbaSDKPayOrderInfo { CpOrderID = "cs-journey-1", ProductName = "Gems", Count = 10, Amount = 1, GoodsID = "g1" };
      Check(sdk.PayOrderInfo(order, role) == TolbaResult.Ok, "pay");
      Tap(sdk, "button", "支付1平台币");
      TickUntil(sdk, "kTolbaSDKNotiRecharge", n => (string)n.Payload["cpOrderId"] == "cs-journey-1");
      Check(Heard("kTolbaSDKNotiRecharge", n => n.Error == 0 && n.Payload.ContainsKey("orderId")), "paid");
      Check(recharges == 1, "one recharge event");

      Check(sdk.Logout() == TolbaResult.Ok, "logout");
      TickUntil(sdk, "kTolbaSDKNotiLogout", n => n.Error == 0);
      Check(sdk.Init(new TolbaSDKInitConfig()) == TolbaResult.InitRefused, "init without a game id");
    }
    Check(logLines > 0, "log lines reached the C# sink");
    TolbaSDK.SetLogSink(null);
    Console.WriteLine("C# journey: passed");
    return 0;
  }
}
