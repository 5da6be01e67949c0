#pragma once
// The Winsock stand-in lives in platform/winsock/; this header keeps its old name.
#include "platform/winsock/winsock.h"
