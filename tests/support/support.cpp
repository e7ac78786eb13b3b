// Test helpers are header-only; this keeps the support library non-empty.
#include "support/PanelRig.h"
