#include "app/Language.h"

namespace korvex {

std::atomic<bool> g_bRussian{false};

}  // namespace korvex
