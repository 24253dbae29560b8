// The SDK for C# games: one object over the C interface. Create it on the game's
// main thread, call Tick() once per frame there, and listen to the events.
//
//   using (var sdk = new Tolba.TolbaSDK()) {
//     sdk.NotiInitDidFinished += (s, e) => Console.WriteLine("ready: " + e.Error);
//     sdk.Init(new Tolba.TolbaSDKInitConfig { GameId = "1001" });
//     while (running) { sdk.Tick(); ... }
//   }
//
// Methods answer the facade's result codes (0 success; see TolbaResult).
// Native code calls back only into static methods marked for reverse
// invocation, as engines that compile C# ahead of time require; each finds
// its TolbaSDK through a GCHandle passed as the callback's user data. The
// delegates handed to the native side live in static fields, for as long as
// it may call them.
using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;
using System.Text;

namespace Tolba {

public static class TolbaResult {
  public const int Ok = 0, LoginFailed = -2, SignInRefused = -3, InitRefused = -10, NotInitialised = -20,
                   RealAuth = -100, NotSignedIn = -301, PlayTimeOver = -302, PayFailed = -400, PayCancelled = -401,
                   NullArgument = -1001, InvalidUtf8 = -1002, InvalidJson = -1003, InvalidArgument = -1004,
                   WrongThread = -1005, BufferTooSmall = -1006, NoRenderer = -1007, Internal = -1099;

  public static string Name(int result) { return Marshal.PtrToStringAnsi(Native.tolba_result_name(result)); }
}

// One notification: its name, the payload's JSON text, and "error" / "msg" read from it.
public class TolbaNotificationEventArgs : EventArgs {
  public string Name { get; private set; }
  public string PayloadJson { get; private set; }
  public Dictionary<string, object> Payload { get; private set; }
  public int Error { get { object e; return Payload.TryGetValue("error", out e) && e is double ? (int)(double)e : 0; } }
  public string Msg { get { object m; return Payload.TryGetValue("msg", out m) ? m as string : null; } }

  internal TolbaNotificationEventArgs(string name, string json) {
    Name = name;
    PayloadJson = json;
    Payload = TolbaJson.Parse(json) as Dictionary<string, object> ?? new Dictionary<string, object>();
  }
}

public enum TolbaTouchPhase { Began = 0, Moved = 1, Ended = 2, Cancelled = 3 }
public enum TolbaKey { Backspace = 0, Return = 1, Tab = 2, Escape = 3 }
public enum TolbaAppEvent { WillResignActive = 0, DidEnterBackground = 1, WillEnterForeground = 2, DidBecomeActive = 3, WillTerminate = 4 }

public sealed class TolbaSDK : IDisposable {
  IntPtr handle;
  GCHandle self;  // weak: what the callbacks' user data names
  Func<string, bool> openUrlHandler;
  static Action<string> logSink;

  // The only delegates the native side holds.
  static readonly NotificationFn notificationCallback = NotificationCallback;
  static readonly LogFn logCallback = LogCallback;
  static readonly OpenUrlFn openUrlCallback = OpenUrlCallback;

  public event EventHandler<TolbaNotificationEventArgs> NotiInitDidFinished, NotiLogin, NotiLogout, NotiRecharge, NotiRealAuth, NotiPlayTime;
  // Every notification, whatever its name.
  public event EventHandler<TolbaNotificationEventArgs> Notification;

  public static int Version { get { return Native.tolba_version(); } }
  public static string VersionString { get { return Marshal.PtrToStringAnsi(Native.tolba_version_string()); } }

  // Routes the SDK's log lines to `sink` (called from any thread); null restores stderr.
  public static void SetLogSink(Action<string> sink) {
    logSink = sink;
    Check(Native.tolba_set_log_sink(sink == null ? null : logCallback, IntPtr.Zero));
  }

  public TolbaSDK() {
    Check(Native.tolba_sdk_create(out handle));
    self = GCHandle.Alloc(this, GCHandleType.Weak);
    Check(Native.tolba_sdk_set_notification_callback(handle, notificationCallback, GCHandle.ToIntPtr(self)));
  }

  public void Dispose() {
    if (handle == IntPtr.Zero) return;
    Native.tolba_sdk_destroy(handle);
    handle = IntPtr.Zero;
    self.Free();
  }

  public int SetDirectories(string bundleDir, string dataDir) {
    return Native.tolba_sdk_set_directories(handle, Utf8(bundleDir), Utf8(dataDir));
  }

  // Runs replies, timers and notifications; events are raised from here.
  public int Tick() { int ran; return Native.tolba_sdk_tick(handle, out ran); }

  public int Init(TolbaSDKInitConfig config) { return Native.tolba_sdk_init(handle, Utf8(config.ToJson())); }
  public int Login() { return Native.tolba_sdk_login(handle); }
  public int Logout() { return Native.tolba_sdk_logout(handle); }
  public int RealAuth() { return Native.tolba_sdk_real_auth(handle); }
  public int UpdateRoleInfo(TolbaSDKGameRoleInfo role, bool isCreate) {
    return Native.tolba_sdk_update_role(handle, Utf8(role.ToJson()), isCreate ? 1 : 0);
  }
  public int PayOrderInfo(TolbaSDKPayOrderInfo order, TolbaSDKGameRoleInfo role) {
    return Native.tolba_sdk_pay(handle, Utf8(order.ToJson()), Utf8(role.ToJson()));
  }
  public int ShowToolBar(int place) { return Native.tolba_sdk_show_toolbar(handle, place); }
  public int HideToolBar() { return Native.tolba_sdk_hide_toolbar(handle); }
  public int EnterUserCenter() { return Native.tolba_sdk_enter_user_center(handle); }
  public uint SupportedOrientations() { uint mask; Check(Native.tolba_sdk_supported_orientations(handle, out mask)); return mask; }
  public bool ApplicationEvent(TolbaAppEvent e) { int h; Check(Native.tolba_sdk_application_event(handle, (int)e, out h)); return h != 0; }
  public bool OpenUrl(string url) { int h; Check(Native.tolba_sdk_open_url(handle, Utf8(url), null, null, out h)); return h != 0; }

  // The session: "username", "token", "logintime", "realNameInfo" (absent when nobody is signed in).
  public Dictionary<string, object> Session() {
    return (Dictionary<string, object>)TolbaJson.Parse(ReadText(Native.tolba_sdk_session));
  }

  // --- The screen layer ------------------------------------------------------------
  public int SetScreen(TolbaScreen screen) { return Native.tolba_host_set_screen(handle, ref screen); }
  public bool Touch(long finger, TolbaTouchPhase phase, double x, double y) {
    int taken; Check(Native.tolba_host_touch(handle, finger, (int)phase, x, y, out taken)); return taken != 0;
  }
  public bool TextInput(string text) { int taken; Check(Native.tolba_host_text_input(handle, Utf8(text), out taken)); return taken != 0; }
  public bool TextEditing(string preedit, int cursor) {
    int taken; Check(Native.tolba_host_text_editing(handle, Utf8(preedit), cursor, out taken)); return taken != 0;
  }
  public bool Key(TolbaKey key) { int taken; Check(Native.tolba_host_key(handle, (int)key, out taken)); return taken != 0; }
  public bool WantsTextInput { get { int v; Check(Native.tolba_host_wants_text_input(handle, out v)); return v != 0; } }
  public bool HasContent { get { int v; Check(Native.tolba_host_has_content(handle, out v)); return v != 0; } }
  public bool NeedsRedraw { get { int v; Check(Native.tolba_host_needs_redraw(handle, out v)); return v != 0; } }
  public void PixelSize(out int width, out int height) { Check(Native.tolba_host_pixel_size(handle, out width, out height)); }
  // The pixels the next Draw changes (width 0 when none): upload only these.
  public void DirtyRect(out int x, out int y, out int width, out int height) {
    Check(Native.tolba_host_dirty_rect(handle, out x, out y, out width, out height));
  }
  // The next Draw redraws everything (a game that lost its texture).
  public void RedrawAll() { Check(Native.tolba_host_redraw_all(handle)); }
  // What the player sees: {"kind", "text", "x", "y", "width", "height", "focused", "on"} each.
  public List<object> Elements() { return (List<object>)TolbaJson.Parse(ReadText(Native.tolba_host_elements)); }
  // RGBA, premultiplied; TolbaResult.NoRenderer when the renderer is not in the library.
  public int Draw(byte[] pixels, int width, int height, int stride) {
    return Native.tolba_host_draw(handle, pixels, width, height, stride);
  }
  // Addresses the SDK opens in another application ("weixin://..."); answer true when opened.
  public void SetOpenUrlHandler(Func<string, bool> handler) {
    openUrlHandler = handler;
    Check(Native.tolba_host_set_open_url_callback(handle, handler == null ? null : openUrlCallback,
                                                  GCHandle.ToIntPtr(self)));
  }

  // --- Plumbing ---------------------------------------------------------------------
  static TolbaSDK Of(IntPtr userData) {
    return userData == IntPtr.Zero ? null : GCHandle.FromIntPtr(userData).Target as TolbaSDK;
  }

  // Called from Tick(), on the game's thread.
  [MonoPInvokeCallback(typeof(NotificationFn))]
  static void NotificationCallback(IntPtr name, IntPtr payload, IntPtr userData) {
    var sdk = Of(userData);
    if (sdk != null) sdk.OnNotification(name, payload);
  }

  // Called from any thread.
  [MonoPInvokeCallback(typeof(LogFn))]
  static void LogCallback(IntPtr line, IntPtr userData) {
    var sink = logSink;
    if (sink != null) sink(FromUtf8(line));
  }

  [MonoPInvokeCallback(typeof(OpenUrlFn))]
  static int OpenUrlCallback(IntPtr url, IntPtr userData) {
    var sdk = Of(userData);
    var handler = sdk == null ? null : sdk.openUrlHandler;
    return handler != null && handler(FromUtf8(url)) ? 1 : 0;
  }

  void OnNotification(IntPtr name, IntPtr payload) {
    var args = new TolbaNotificationEventArgs(FromUtf8(name), FromUtf8(payload));
    EventHandler<TolbaNotificationEventArgs> specific = null;
    switch (args.Name) {
      case "kTolbaSDKNotiInitDidFinished": specific = NotiInitDidFinished; break;
      case "kTolbaSDKNotiLogin": specific = NotiLogin; break;
      case "kTolbaSDKNotiLogout": specific = NotiLogout; break;
      case "kTolbaSDKNotiRecharge": specific = NotiRecharge; break;
      case "kTolbaSDKNotiRealAuth": specific = NotiRealAuth; break;
      case "kTolbaSDKNotiPlayTime": specific = NotiPlayTime; break;
    }
    if (specific != null) specific(this, args);
    var any = Notification;
    if (any != null) any(this, args);
  }

  delegate int TextReader(IntPtr sdk, byte[] buffer, UIntPtr capacity, out UIntPtr length);

  string ReadText(TextReader read) {
    var buffer = new byte[4096];
    while (true) {
      UIntPtr length;
      int result = read(handle, buffer, (UIntPtr)buffer.Length, out length);
      if (result == TolbaResult.Ok) return Encoding.UTF8.GetString(buffer, 0, (int)length);
      if (result != TolbaResult.BufferTooSmall) throw new InvalidOperationException(TolbaResult.Name(result));
      buffer = new byte[(int)length + 1];
    }
  }

  static void Check(int result) {
    if (result != TolbaResult.Ok) throw new InvalidOperationException("tolba: " + TolbaResult.Name(result));
  }

  static byte[] Utf8(string s) {
    if (s == null) return null;
    var bytes = Encoding.UTF8.GetBytes(s);
    Array.Resize(ref bytes, bytes.Length + 1);
    return bytes;
  }

  static string FromUtf8(IntPtr p) {
    if (p == IntPtr.Zero) return null;
    int n = 0;
    while (Marshal.ReadByte(p, n) != 0) n++;
    var bytes = new byte[n];
    Marshal.Copy(p, bytes, 0, n);
    return Encoding.UTF8.GetString(bytes);
  }
}

}  // namespace Tolba
