#pragma once

/// @file
/// The Common library: message formatting, exceptions, string tables, paths and text conversion.

/// @namespace Common
/// Message formatting, exceptions, string tables, paths and text conversion shared by the
/// libraries built on the Common library.
#include <Common/CfxFormat.h>
#include <Common/Exception.h>
#include <Common/Path.h>
#include <Common/StringTable.h>
#include <Common/Text.h>
