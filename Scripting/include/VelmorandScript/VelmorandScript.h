#pragma once

/// @file
/// VelmorandScript: lets scripts drive an application's native C++ objects.
///
/// Application modules describe their script-visible classes (Classes.h), register conversions
/// and wrapper routines (Conversion.h); the script host finds classes and functions, converts
/// arguments, invokes functions and wraps their results (Objects.h), and gives native code a way
/// back into the running script (Context.h). Every failure is a ScriptException (Errors.h).
/// Registration.h describes a class in one line per member on top of the descriptors; TypedCall.h
/// and Hosting.h are what script hosts build on.

/// @namespace VelmorandScript
/// Everything the library offers to application modules and script hosts.

#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Hosting.h>
#include <VelmorandScript/Objects.h>
#include <VelmorandScript/Registration.h>
#include <VelmorandScript/TypedCall.h>
#include <VelmorandScript/Values.h>
