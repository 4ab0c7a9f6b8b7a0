#include <Common/Path.h>

#include <Common/Text.h>

#include <utility>

namespace Common {

Path::Path(std::wstring fileName, std::wstring directory)
    : m_fileName(std::move(fileName)), m_directory(std::move(directory)) {}

Path::~Path() = default;

std::wstring Path::AsString() const {
    // An absolute file name does not depend on the directory.
    if (m_directory.empty() || (!m_fileName.empty() && m_fileName.front() == L'/')) {
        return m_fileName;
    }
    if (m_directory.back() == L'/') {
        return m_directory + m_fileName;
    }
    return m_directory + L'/' + m_fileName;
}

std::string Path::AsUtf8() const {
    return ToUtf8(AsString());
}

}  // namespace Common
