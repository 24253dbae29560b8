// P/Invoke declarations of the SDK's C interface (include/tolba/tolba.h), as a
// Mono-based engine loads a native plugin: the library is "tolba-sdk"
// (libtolba-sdk.so). Strings cross as UTF-8 byte arrays with their NUL.
using System;
using System.Runtime.InteropServices;

namespace Tolba {

// Engines that compile C# ahead of time (IL2CPP, Mono's full AOT) call back
// from native code only into static methods marked with an attribute of this
// name, which they recognise by its name alone; declared here so that the
// binding needs nothing from the engine.
[AttributeUsage(AttributeTargets.Method)]
internal sealed class MonoPInvokeCallbackAttribute : Attribute {
  public MonoPInvokeCallbackAttribute(Type delegateType) { DelegateType = delegateType; }
  public Type DelegateType { get; private set; }
}

[UnmanagedFunctionPointer(CallingConvention.Cdecl)]
internal delegate void NotificationFn(IntPtr name, IntPtr payloadJson, IntPtr userData);
[UnmanagedFunctionPointer(CallingConvention.Cdecl)]
internal delegate void LogFn(IntPtr line, IntPtr userData);
[UnmanagedFunctionPointer(CallingConvention.Cdecl)]
internal delegate int OpenUrlFn(IntPtr url, IntPtr userData);

[StructLayout(LayoutKind.Sequential)]
public struct TolbaScreen {
  public double Width, Height, Scale;
  public double SafeTop, SafeLeft, SafeBottom, SafeRight;
  public int Orientation;  // 1 portrait, 2 upside down, 3 landscape right, 4 landscape left
}

internal static class Native {
  const string Lib = "tolba-sdk";

  [DllImport(Lib)] internal static extern IntPtr tolba_result_name(int result);
  [DllImport(Lib)] internal static extern int tolba_version();
  [DllImport(Lib)] internal static extern IntPtr tolba_version_string();
  [DllImport(Lib)] internal static extern int tolba_set_log_sink(LogFn sink, IntPtr userData);

  [DllImport(Lib)] internal static extern int tolba_sdk_create(out IntPtr sdk);
  [DllImport(Lib)] internal static extern int tolba_sdk_destroy(IntPtr sdk);
  [DllImport(Lib)] internal static extern int tolba_sdk_set_directories(IntPtr sdk, byte[] bundleDir, byte[] dataDir);
  [DllImport(Lib)] internal static extern int tolba_sdk_tick(IntPtr sdk, out int ran);
  [DllImport(Lib)] internal static extern int tolba_sdk_set_notification_callback(IntPtr sdk, NotificationFn fn, IntPtr userData);
  [DllImport(Lib)] internal static extern int tolba_sdk_init(IntPtr sdk, byte[] configJson);
  [DllImport(Lib)] internal static extern int tolba_sdk_login(IntPtr sdk);
  [DllImport(Lib)] internal static extern int tolba_sdk_logout(IntPtr sdk);
  [DllImport(Lib)] internal static extern int tolba_sdk_real_auth(IntPtr sdk);
  [DllImport(Lib)] internal static extern int tolba_sdk_session(IntPtr sdk, byte[] buffer, UIntPtr capacity, out UIntPtr length);
  [DllImport(Lib)] internal static extern int tolba_sdk_update_role(IntPtr sdk, byte[] roleJson, int isCreate);
  [DllImport(Lib)] internal static extern int tolba_sdk_pay(IntPtr sdk, byte[] orderJson, byte[] roleJson);
  [DllImport(Lib)] internal static extern int tolba_sdk_show_toolbar(IntPtr sdk, int place);
  [DllImport(Lib)] internal static extern int tolba_sdk_hide_toolbar(IntPtr sdk);
  [DllImport(Lib)] internal static extern int tolba_sdk_enter_user_center(IntPtr sdk);
  [DllImport(Lib)] internal static extern int tolba_sdk_supported_orientations(IntPtr sdk, out uint mask);
  [DllImport(Lib)] internal static extern int tolba_sdk_application_event(IntPtr sdk, int appEvent, out int handled);
  [DllImport(Lib)] internal static extern int tolba_sdk_open_url(IntPtr sdk, byte[] url, byte[] sourceApp, byte[] optionsJson, out int handled);

  [DllImport(Lib)] internal static extern int tolba_host_set_screen(IntPtr sdk, ref TolbaScreen screen);
  [DllImport(Lib)] internal static extern int tolba_host_touch(IntPtr sdk, long finger, int phase, double x, double y, out int taken);
  [DllImport(Lib)] internal static extern int tolba_host_text_input(IntPtr sdk, byte[] text, out int taken);
  [DllImport(Lib)] internal static extern int tolba_host_text_editing(IntPtr sdk, byte[] preedit, int cursor, out int taken);
  [DllImport(Lib)] internal static extern int tolba_host_key(IntPtr sdk, int key, out int taken);
  [DllImport(Lib)] internal static extern int tolba_host_wants_text_input(IntPtr sdk, out int wants);
  [DllImport(Lib)] internal static extern int tolba_host_has_content(IntPtr sdk, out int hasContent);
  [DllImport(Lib)] internal static extern int tolba_host_needs_redraw(IntPtr sdk, out int needsRedraw);
  [DllImport(Lib)] internal static extern int tolba_host_pixel_size(IntPtr sdk, out int width, out int height);
  [DllImport(Lib)] internal static extern int tolba_host_dirty_rect(IntPtr sdk, out int x, out int y, out int width, out int height);
  [DllImport(Lib)] internal static extern int tolba_host_redraw_all(IntPtr sdk);
  [DllImport(Lib)] internal static extern int tolba_host_elements(IntPtr sdk, byte[] buffer, UIntPtr capacity, out UIntPtr length);
  [DllImport(Lib)] internal static extern int tolba_host_set_open_url_callback(IntPtr sdk, OpenUrlFn fn, IntPtr userData);
  [DllImport(Lib)] internal static extern int tolba_host_draw(IntPtr sdk, byte[] pixels, int width, int height, int stride);
}

}  // namespace Tolba
