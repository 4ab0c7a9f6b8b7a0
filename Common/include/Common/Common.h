#pragma once

/// @file
/// The Common library: message formatting, exceptions, string tables, paths and text conversion.
#include <Common/CfxFormat.h>
#include <Common/Exception.h>
#include <Common/Path.h>
#include <Common/StringTable.h>
#include <Common/Text.h>
