#include "ui/UiTestSupport.h"

#include <gtest/gtest.h>

namespace tessel::test {}  // namespace tessel::test
