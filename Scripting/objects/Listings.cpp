#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Objects.h>

#include <Common/Text.h>

#include "LibraryStatics.h"

#include <boost/make_shared.hpp>

#include <string>
#include <utility>
#include <vector>

// Native lists handed to scripts: each call takes a snapshot vector and wraps it in a new Array.

namespace VelmorandScript {

namespace {

template <class T>
boost::shared_ptr<const IArray> MakeListing(boost::shared_ptr<std::vector<T>> items) {
    boost::shared_ptr<IArrayValue> storage = boost::make_shared<StdVector<T>>(std::move(items));
    return boost::make_shared<Array>(std::move(storage));
}

/// A return value that returns nothing is no argument a script could pass or receive.
bool IsVoidReturnValue(const Argument& argument) {
    if ((argument.GetStyle() & ReturnArgument) == 0 || argument.GetScriptType() == nullptr) {
        return false;
    }
    return Common::CompareNoCase(argument.GetScriptType(), Detail::g_voidScriptType,
                                 std::wstring::npos) == 0;
}

}  // namespace

boost::shared_ptr<const IArray> Function::GetFunctionArguments() {
    const std::vector<Argument>& arguments = GetArguments();
    auto listed = boost::make_shared<std::vector<Argument>>();
    listed->reserve(arguments.size());
    for (const Argument& argument : arguments) {
        if (!IsVoidReturnValue(argument)) {
            listed->push_back(argument);
        }
    }
    return MakeListing(std::move(listed));
}

boost::shared_ptr<const IArray> Class::GetClassFunctions() {
    FunctionMap functions;
    GetAllFunctions(functions);
    auto listed = boost::make_shared<std::vector<boost::shared_ptr<IFunction>>>();
    listed->reserve(functions.size());
    for (const auto& entry : functions) {
        listed->push_back(entry.second);
    }
    return MakeListing(std::move(listed));
}

boost::shared_ptr<const IArray> ClassRegistry::GetRegisteredClasses() const {
    auto listed = boost::make_shared<std::vector<boost::shared_ptr<Class>>>();
    listed->reserve(m_byName.size());
    for (const auto& entry : m_byName) {
        if (entry.second) {
            listed->push_back(entry.second);
        }
    }
    return MakeListing(std::move(listed));
}

}  // namespace VelmorandScript
