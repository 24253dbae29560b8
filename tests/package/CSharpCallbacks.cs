// Every delegate the binding keeps for native code points to a static method
// marked for reverse invocation, and none is held per object: engines that
// compile C# ahead of time accept no other callback.
using System;
using System.Collections.Generic;
using System.Linq;
using System.Reflection;

static class CSharpCallbacks {
  const BindingFlags Everything =
      BindingFlags.Static | BindingFlags.Instance | BindingFlags.Public | BindingFlags.NonPublic;

  static int Main() {
    var assembly = typeof(Tolba.TolbaSDK).Assembly;
    // The delegate types the native functions take.
    var callbackTypes = new HashSet<Type>(
        assembly.GetType("Tolba.Native").GetMethods(Everything)
            .Where(m => (m.Attributes & MethodAttributes.PinvokeImpl) != 0)
            .SelectMany(m => m.GetParameters()).Select(p => p.ParameterType)
            .Where(t => typeof(Delegate).IsAssignableFrom(t)));
    var covered = new HashSet<Type>();
    var faults = new List<string>();
    foreach (var type in assembly.GetTypes()) {
      foreach (var field in type.GetFields(Everything)) {
        if (!callbackTypes.Contains(field.FieldType)) continue;
        var where = type.Name + "." + field.Name;
        if (!field.IsStatic) { faults.Add(where + " is held per object"); continue; }
        var callback = field.GetValue(null) as Delegate;
        if (callback == null) { faults.Add(where + " is not set"); continue; }
        var method = callback.Method;
        if (!method.IsStatic) faults.Add(where + " points to an instance method");
        if (!method.GetCustomAttributes(false).Any(a => a.GetType().Name == "MonoPInvokeCallbackAttribute")) {
          faults.Add(where + " points to " + method.Name + ", which is not marked MonoPInvokeCallback");
        }
        covered.Add(field.FieldType);
      }
    }
    foreach (var type in callbackTypes.Except(covered)) faults.Add(type.Name + " has no static callback");
    foreach (var fault in faults) Console.WriteLine("FAIL " + fault);
    Console.WriteLine(covered.Count + " callback types checked, " + faults.Count + " faults");
    return faults.Count == 0 && covered.Count > 0 ? 0 : 1;
  }
}
