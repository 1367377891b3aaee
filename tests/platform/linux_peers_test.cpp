#include "platform/linux_peers.h"

#include <gtest/gtest.h>
