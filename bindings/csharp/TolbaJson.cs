// Just enough JSON for the C interface's texts: writing the records' objects and
// reading payloads and element lists (objects become Dictionary<string, object>,
// arrays List<object>, numbers double, plus string, bool and null).
using System;
using System.Collections.Generic;
using System.Globalization;
using System.Text;

namespace Tolba {

public static class TolbaJson {
  public static string Quote(string s) {
    var b = new StringBuilder("\"");
    foreach (char c in s) {
      switch (c) {
        case '"': b.Append("\\\""); break;
        case '\\': b.Append("\\\\"); break;
        case '\n': b.Append("\\n"); break;
        case '\r': b.Append("\\r"); break;
        case '\t': b.Append("\\t"); break;
        default:
          if (c < 0x20) b.AppendFormat("\\u{0:x4}", (int)c); else b.Append(c);
          break;
      }
    }
    return b.Append('"').ToString();
  }

  // Writes the non-null entries of `fields` as one object (strings quoted, numbers as is).
  public static string Object(IEnumerable<KeyValuePair<string, object>> fields) {
    var b = new StringBuilder("{");
    foreach (var f in fields) {
      if (f.Value == null) continue;
      if (b.Length > 1) b.Append(',');
      b.Append(Quote(f.Key)).Append(':');
      if (f.Value is string) b.Append(Quote((string)f.Value));
      else if (f.Value is float) b.Append(((float)f.Value).ToString("R", CultureInfo.InvariantCulture));
      else b.Append(Convert.ToString(f.Value, CultureInfo.InvariantCulture));
    }
    return b.Append('}').ToString();
  }

  public static object Parse(string text) {
    int i = 0;
    object value = ReadValue(text, ref i);
    SkipBlanks(text, ref i);
    if (i != text.Length) throw new FormatException("trailing text in JSON");
    return value;
  }

  static void SkipBlanks(string s, ref int i) {
    while (i < s.Length && char.IsWhiteSpace(s[i])) i++;
  }

  static object ReadValue(string s, ref int i) {
    SkipBlanks(s, ref i);
    if (i >= s.Length) throw new FormatException("JSON ends early");
    char c = s[i];
    if (c == '{') {
      var d = new Dictionary<string, object>();
      i++;
      SkipBlanks(s, ref i);
      if (s[i] == '}') { i++; return d; }
      while (true) {
        SkipBlanks(s, ref i);
        string key = ReadString(s, ref i);
        SkipBlanks(s, ref i);
        if (s[i++] != ':') throw new FormatException("expected ':'");
        d[key] = ReadValue(s, ref i);
        SkipBlanks(s, ref i);
        if (s[i] == ',') { i++; continue; }
        if (s[i++] == '}') return d;
        throw new FormatException("expected ',' or '}'");
      }
    }
    if (c == '[') {
      var list = new List<object>();
      i++;
      SkipBlanks(s, ref i);
      if (s[i] == ']') { i++; return list; }
      while (true) {
        list.Add(ReadValue(s, ref i));
        SkipBlanks(s, ref i);
        if (s[i] == ',') { i++; continue; }
        if (s[i++] == ']') return list;
        throw new FormatException("expected ',' or ']'");
      }
    }
    if (c == '"') return ReadString(s, ref i);
    if (s.Substring(i).StartsWith("true")) { i += 4; return true; }
    if (s.Substring(i).StartsWith("false")) { i += 5; return false; }
    if (s.Substring(i).StartsWith("null")) { i += 4; return null; }
    int start = i;
    while (i < s.Length && "+-.eE0123456789".IndexOf(s[i]) >= 0) i++;
    if (start == i) throw new FormatException("unexpected character in JSON");
    return double.Parse(s.Substring(start, i - start), CultureInfo.InvariantCulture);
  }

  static string ReadString(string s, ref int i) {
    if (s[i++] != '"') throw new FormatException("expected a string");
    var b = new StringBuilder();
    while (s[i] != '"') {
      char c = s[i++];
      if (c != '\\') { b.Append(c); continue; }
      char e = s[i++];
      switch (e) {
        case 'n': b.Append('\n'); break;
        case 'r': b.Append('\r'); break;
        case 't': b.Append('\t'); break;
        case 'b': b.Append('\b'); break;
        case 'f': b.Append('\f'); break;
        case 'u': b.Append((char)Convert.ToInt32(s.Substring(i, 4), 16)); i += 4; break;
        default: b.Append(e); break;
      }
    }
    i++;
    return b.ToString();
  }
}

}  // namespace Tolba
