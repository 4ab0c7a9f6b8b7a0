#pragma once

/// @file
/// The export marker of the Common library.

/// The Common library is built with hidden visibility; COMMON_API marks what it exports.
#define COMMON_API __attribute__((visibility("default")))
