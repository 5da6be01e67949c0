#pragma once
// The echo service lives in platform/icmp/; this header keeps its old name.
#include "platform/icmp/icmp.h"
