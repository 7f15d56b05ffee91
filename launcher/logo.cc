#include "launcher/logo.h"

#include "console/console.h"
#include "console/messages.h"

namespace {

/// When this launcher was built: "Mmm dd yyyy" and "hh:mm:ss".
constexpr wchar_t kBuildDate[] = L"" __DATE__;
constexpr wchar_t kBuildTime[] = L"" __TIME__;

}  // namespace

void PrintLogo() {
  Print(kBannerFormat, kBuildDate, kBuildTime);
}

void PrintVersion() {
  Print(kVersionFormat, KVSOLVER_VERSION, kBuildDate, kBuildTime);
}
