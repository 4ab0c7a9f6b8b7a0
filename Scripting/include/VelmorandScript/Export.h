#pragma once

/// @file
/// The export marker of the VelmorandScript library.

/// The library is built with hidden visibility; VELMORAND_API marks what it exports.
#define VELMORAND_API __attribute__((visibility("default")))
