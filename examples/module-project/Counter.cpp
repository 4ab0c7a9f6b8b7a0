// A script class Tally::Counter: a constructor with a default argument, a property, a
// read-only property, methods and a static function.
//
//     velmorand-lua --no-default-module --module ./libCounter.so counter.lua

#include <VelmorandScript/VelmorandScript.h>

#include <boost/enable_shared_from_this.hpp>
#include <boost/make_shared.hpp>

#include <stdexcept>
#include <string>

namespace Tally {

class Counter : public boost::enable_shared_from_this<Counter> {
public:
    Counter(std::wstring name, long start) : m_name(std::move(name)), m_count(start) {}

    const std::wstring& GetName() const { return m_name; }
    void SetName(const std::wstring& name) { m_name = name; }
    long Count() const { return m_count; }

    void Add(long step) {
        if (step < 0) {
            throw std::invalid_argument("a counter only counts up");
        }
        m_count += step;
    }
    /// Two results for the script: the count and the name.
    long Read(std::wstring& name) const {
        name = m_name;
        return m_count;
    }

private:
    std::wstring m_name;
    long m_count;
};

boost::shared_ptr<Counter> Zero() {
    return boost::make_shared<Counter>(L"zero", 0);
}

}  // namespace Tally

extern "C" __attribute__((visibility("default"))) void VelmorandRegisterModule() {
    using namespace VelmorandScript;
    using Tally::Counter;
    ClassBuilder<Counter>(L"Tally::Counter", L"Tally")
        .Constructor<std::wstring, long>({L"name", Default(L"start", 0L)})
        .Property(L"Name", &Counter::GetName, &Counter::SetName)
        .ReadOnly(L"Count", &Counter::Count)
        .Method(L"Add", &Counter::Add, {L"step"})
        .Method(L"Read", &Counter::Read, {L"name"})
        .Static(L"Zero", &Tally::Zero)
        .Register();
}
