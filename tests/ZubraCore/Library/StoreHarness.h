#pragma once
// The store harness lives in the tests' support library; this name stays for the store and model tests.

#include "support/StoreHarness.h"
