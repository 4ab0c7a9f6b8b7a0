#include "Shapes.h"

#include <boost/make_shared.hpp>

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <sstream>

namespace Shapes {

namespace {

const double pi = 3.14159265358979323846;

struct NamedColor {
    const wchar_t* name;
    Color color;
};

const NamedColor namedColors[] = {{L"black", {0, 0, 0}},  {L"white", {255, 255, 255}},
                                  {L"red", {255, 0, 0}},  {L"green", {0, 128, 0}},
                                  {L"blue", {0, 0, 255}}, {L"yellow", {255, 255, 0}}};

}  // namespace

std::wstring ColorToText(const Color& color) {
    for (const NamedColor& named : namedColors) {
        if (named.color == color) {
            return named.name;
        }
    }
    wchar_t text[8];
    std::swprintf(text, 8, L"#%02x%02x%02x", color.red, color.green, color.blue);
    return text;
}

bool ParseColor(const std::wstring& text, Color& color) {
    for (const NamedColor& named : namedColors) {
        if (text == named.name) {
            color = named.color;
            return true;
        }
    }
    unsigned int red = 0;
    unsigned int green = 0;
    unsigned int blue = 0;
    wchar_t rest = 0;
    if (text.size() != 7 ||
        std::swscanf(text.c_str(), L"#%2x%2x%2x%lc", &red, &green, &blue, &rest) != 3) {
        return false;
    }
    color = Color{static_cast<unsigned char>(red), static_cast<unsigned char>(green),
                  static_cast<unsigned char>(blue)};
    return true;
}

std::atomic<long> Detail::LiveCounted::s_live{0};

long CountLiveObjects() {
    return Detail::LiveCounted::s_live.load();
}

Shape::Shape(std::wstring name) : m_name(std::move(name)), m_color{0, 0, 0}, m_x(0), m_y(0) {}

Shape::~Shape() = default;

void Shape::Move(double dx, double dy) {
    m_x += dx;
    m_y += dy;
}

std::wstring Shape::Describe() const {
    std::wostringstream text;
    text << Kind() << L" '" << m_name << L"' at (" << m_x << L", " << m_y << L"), area " << Area();
    return text.str();
}

Circle::Circle(double radius, std::wstring name) : Shape(std::move(name)), m_radius(radius) {}

boost::shared_ptr<Circle> Circle::Unit() {
    return boost::make_shared<Circle>(1.0, L"unit");
}

boost::shared_ptr<Circle> Circle::FromDiameter(double diameter) {
    return boost::make_shared<Circle>(diameter / 2, L"circle");
}

double Circle::Area() const {
    return pi * m_radius * m_radius;
}

double Circle::Perimeter() const {
    return 2 * pi * m_radius;
}

Rectangle::Rectangle(double width, double height, std::wstring name)
    : Shape(std::move(name)), m_width(width), m_height(height) {}

boost::shared_ptr<Rectangle> Rectangle::Make(double width, double height, std::wstring name,
                                             const Color& color) {
    auto made = boost::make_shared<Rectangle>(width, height, std::move(name));
    made->SetColor(color);
    return made;
}

void Rectangle::GetSize(double& width, double& height) const {
    width = m_width;
    height = m_height;
}

void Rectangle::Scale(int factor) {
    m_width *= factor;
    m_height *= factor;
}

void Canvas::AddAll(const std::vector<boost::shared_ptr<Shape>>& shapes) {
    m_shapes.insert(m_shapes.end(), shapes.begin(), shapes.end());
}

std::vector<std::wstring> Canvas::Names() const {
    std::vector<std::wstring> names;
    for (const boost::shared_ptr<Shape>& shape : m_shapes) {
        names.push_back(shape->GetName());
    }
    return names;
}

long Canvas::ForEach(
    const std::function<void(const boost::shared_ptr<Shape>&, long)>& visit) const {
    long index = 0;
    for (const boost::shared_ptr<Shape>& shape : std::vector<boost::shared_ptr<Shape>>(m_shapes)) {
        visit(shape, ++index);
    }
    return index;
}

std::vector<boost::shared_ptr<Shape>> Canvas::Select(
    const std::function<bool(const boost::shared_ptr<Shape>&, long)>& keep) const {
    std::vector<boost::shared_ptr<Shape>> selected;
    ForEach([&](const boost::shared_ptr<Shape>& shape, long index) {
        if (keep(shape, index)) {
            selected.push_back(shape);
        }
    });
    return selected;
}

double Canvas::TotalArea() const {
    double total = 0;
    for (const boost::shared_ptr<Shape>& shape : m_shapes) {
        total += shape->Area();
    }
    return total;
}

boost::shared_ptr<Shape> Canvas::Largest() const {
    boost::shared_ptr<Shape> largest;
    for (const boost::shared_ptr<Shape>& shape : m_shapes) {
        if (!largest || shape->Area() > largest->Area()) {
            largest = shape;
        }
    }
    return largest;
}

}  // namespace Shapes
