#include "classes/FunctionTable.h"

#include "classes/DescriptorText.h"
#include "errors/Format.h"

#include <utility>

namespace VelmorandScript {

namespace {

/// The style bits a lookup tries, lowest first; bit 0x800 is a flag, not a style.
constexpr long kLowestStyleBit = StaticStyle;
constexpr long kHighestStyleBit = 0x400;

}  // namespace

FunctionTable::FunctionTable(const wchar_t* className) : m_className(className) {}

FunctionTable::~FunctionTable() = default;

void FunctionTable::AddFunction(boost::shared_ptr<IFunction> function) {
    FunctionKey key(Detail::TextOrEmpty(function->GetName()), function->GetStyle());
    const auto position = m_functions.lower_bound(key);
    if (position != m_functions.end() && !m_functions.key_comp()(key, position->first)) {
        // Equivalent key: a later registration wins, but the entry keeps its original key.
        position->second = std::move(function);
        return;
    }
    m_functions.emplace_hint(position, std::move(key), std::move(function));
}

FunctionMap::const_iterator FunctionTable::FindEquivalent(const FunctionKeyView& key) const {
    const auto position = m_functions.lower_bound(key);
    if (position != m_functions.end() && !m_functions.key_comp()(key, position->first)) {
        return position;
    }
    return m_functions.end();
}

boost::shared_ptr<IFunction> FunctionTable::FindFunction(const std::wstring& name,
                                                         long styleMask) const {
    for (long bit = kLowestStyleBit; bit <= kHighestStyleBit; bit <<= 1) {
        if ((styleMask & bit) == 0) {
            continue;
        }
        const auto match = FindEquivalent(FunctionKeyView{name.data(), name.size(), bit});
        if (match == m_functions.end()) {
            continue;
        }
        const boost::shared_ptr<IFunction>& function = match->second;
        if (IsScripLoggingEnabled()) {
            Detail::WriteLogLine(
                L"Matched %1 function %2::%3", GetFunctionStyleName(function->GetStyle()),
                Detail::TextOrEmpty(m_className), Detail::TextOrEmpty(function->GetName()));
        }
        return function;
    }
    return boost::shared_ptr<IFunction>();
}

void FunctionTable::Check(const Class* owner) const {
    for (const auto& entry : m_functions) {
        entry.second->Check(owner, this);
    }
}

}  // namespace VelmorandScript
