#pragma once
#include "veltrina/immortal.h"

namespace veltrina::internal {
using veltrina::Immortal;
}  // namespace veltrina::internal
