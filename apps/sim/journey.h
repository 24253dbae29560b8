#pragma once
// The steps of the scripted sessions: the whole journey that --autoplay plays,
// and the input files of --script.

#include <optional>
#include <string>
#include <vector>

#include "player.h"

namespace tolba::sim {

class Simulator;

// Init, register, real-name, role, a coin payment, a WeChat payment, switching
// account with the floating button, logging in again, logging out, landscape.
// `again`: a later round in the same process, where the floating button comes
// back shown (it parks only after a touch), so one tap switches account.
std::vector<Step> journeySteps(const Simulator& sim, bool again = false);

// One step per line; nullopt with `error` ("line N: ...") when a line is wrong.
//   tap scene NAME | tap KIND [TEXT] | tap sheet pay|cancel | tap point X Y
//   drag X Y X2 Y2 | type TEXT | key return|backspace|tab|escape|l
//   wait KIND [TEXT] | gone KIND [TEXT] | notification NAME [ERROR] | reply PATH
//   pause SECONDS | screenshot NAME | section TITLE       (# starts a comment)
std::optional<std::vector<Step>> parseScript(const std::string& text, std::string* error);

}  // namespace tolba::sim
