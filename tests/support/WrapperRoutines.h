#pragma once

// Wrapper routines and an array wrapper type for tests of the wrapping of values for scripts.

#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Objects.h>

#include <boost/shared_ptr.hpp>

namespace VelmorandScript {
namespace Testing {

/// What a WrapWith routine hands to the script: which routine ran, with what.
struct Wrapped {
    int wrapper;
    Value original;
    IScriptContext* context;
};

/// Wrapper routine number N.
template <int N>
Value WrapWith(const Value& value, boost::shared_ptr<IScriptContext> context) {
    const Wrapped wrapped{N, value, context.get()};
    return Value(&wrapped);
}

/// An array wrapper without items and without a script class, to make vector values.
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
