#pragma once
// The framework's exported version symbols.

#include "tolba/export.h"

extern "C" {
// 1.0
TOLBA_API extern const double TolbaSdkVersionNumber;
// "@(#)PROGRAM:TolbaSdk  PROJECT:TolbaSdk-1" followed by a line feed.
TOLBA_API extern const unsigned char TolbaSdkVersionString[];
}
