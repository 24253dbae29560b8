#include "tolba/TolbaSdkVersion.h"

extern "C" {
const double TolbaSdkVersionNumber = 1.0;
const unsigned char TolbaSdkVersionString[] = "@(#)PROGRAM:TolbaSdk  PROJECT:TolbaSdk-1\n";
}
