#pragma once
// The framework's exported version symbols.

extern "C" {
// 1.0
extern const double TolbaSdkVersionNumber;
// "@(#)PROGRAM:TolbaSdk  PROJECT:TolbaSdk-1" followed by a line feed.
extern const unsigned char TolbaSdkVersionString[];
}
