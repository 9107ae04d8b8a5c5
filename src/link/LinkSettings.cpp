#include "link/LinkSettings.h"

namespace korvex {

LinkSettings g_LinkSettings;

}  // namespace korvex
