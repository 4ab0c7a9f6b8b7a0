#pragma once

// Wrapper routines that tell which of them ran, and an array type for vector values.

#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Objects.h>

#include <boost/shared_ptr.hpp>

namespace VelmorandScript {
namespace Testing {

/// What a WrapWith routine hands to the script.
struct Wrapped {
    int wrapper;
    Value original;
    IScriptContext* context;
};

template <int N>
Value WrapWith(const Value& value, boost::shared_ptr<IScriptContext> context) {
    const Wrapped wrapped{N, value, context.get()};
    return Value(&wrapped);
}

/// An array wrapper without items and without a script class.
class EmptyTestArray : public IArray {
public:
    EmptyTestArray() : IArray(boost::shared_ptr<Class>(), Value()) {}

    long Count() const override { return 0; }
    bool IsEmpty() const override { return true; }
    void Clear() override {}
    void Add(const Value&, bool) override {}
    void Count(long) override {}
    void Delete(long) override {}
    void Insert(long, const Value&) override {}
    Value Item(long) const override { return Value(); }
    void Replace(long, const Value&) override {}
};

}  // namespace Testing
}  // namespace VelmorandScript
