#pragma once
// The remote services the check run reaches, and how the FTP probe is set up: the product's own
// facts, handed down to the run as values. Host names only, never address literals; tests hand
// the run loopback endpoints instead.
#include "core/check_run.h"

namespace travik {

// The platform's servers in probing order (two broadcast, four of the international data feed)
// and the file server with the FTP probe's account and time-outs.
[[nodiscard]] core::NetworkTargets ProductTargets();

// The support team's e-mail address, to which the verdict page asks the report to be sent.
inline constexpr char kSupportAddress[] = "suporte@korvena.com.br";

}  // namespace travik
