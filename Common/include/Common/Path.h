#pragma once

/// @file
/// Common::Path: a file name in a directory, as wide text and as UTF-8.

#include <Common/Export.h>

#include <string>

namespace Common {

/// A file name, optionally inside a directory.
class COMMON_API Path {
public:
    /// An empty directory means the current working directory.
    Path(std::wstring fileName, std::wstring directory);
    ~Path();

    /// The path as a wide string: the file name alone, or directory and file name joined by '/'.
    std::wstring AsString() const;
    /// The path encoded as UTF-8, as the system calls expect it.
    std::string AsUtf8() const;

private:
    std::wstring m_fileName;
    std::wstring m_directory;
};

}  // namespace Common
