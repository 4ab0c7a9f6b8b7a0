#pragma once

// The sample application's own C++ model: shapes with a name, a colour and a position, and a
// canvas that collects them. Nothing here knows about scripting; Registration.cpp describes
// these classes to the library.

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace Shapes {

/// How many shapes and canvases exist: lets hosts' tests check that scripts release them all.
long CountLiveObjects();

namespace Detail {
/// Counts the objects of the class that derives from it.
class LiveCounted {
public:
    LiveCounted() { ++s_live; }
    LiveCounted(const LiveCounted&) { ++s_live; }
    LiveCounted& operator=(const LiveCounted&) = default;
    ~LiveCounted() { --s_live; }

    static std::atomic<long> s_live;
};
}  // namespace Detail

struct Color {
    unsigned char red;
    unsigned char green;
    unsigned char blue;

    bool operator==(const Color& other) const {
        return red == other.red && green == other.green && blue == other.blue;
    }
};

/// "#rrggbb", or the colour's name when it has one ("red").
std::wstring ColorToText(const Color& color);
/// Reads a colour name ("red", "green", "blue", "black", "white", "yellow") or "#rrggbb".
bool ParseColor(const std::wstring& text, Color& color);

class Shape : public boost::enable_shared_from_this<Shape>, private Detail::LiveCounted {
public:
    explicit Shape(std::wstring name);
    virtual ~Shape();

    virtual std::wstring Kind() const = 0;
    virtual double Area() const = 0;
    virtual double Perimeter() const = 0;
    /// Multiplies every length of the shape by the factor.
    virtual void Scale(int factor) = 0;

    const std::wstring& GetName() const { return m_name; }
    void SetName(std::wstring name) { m_name = std::move(name); }
    const Color& GetColor() const { return m_color; }
    void SetColor(const Color& color) { m_color = color; }
    double GetX() const { return m_x; }
    double GetY() const { return m_y; }
    void Move(double dx, double dy);

    /// "circle 'wheel' at (1, 2), area 3.14".
    std::wstring Describe() const;

private:
    std::wstring m_name;
    Color m_color;
    double m_x;
    double m_y;
};

class Circle : public Shape {
public:
    Circle(double radius, std::wstring name);
    /// A circle of radius 1 named "unit".
    static boost::shared_ptr<Circle> Unit();
    static boost::shared_ptr<Circle> FromDiameter(double diameter);

    std::wstring Kind() const override { return L"circle"; }
    double Area() const override;
    double Perimeter() const override;
    void Scale(int factor) override { m_radius *= factor; }

    double GetRadius() const { return m_radius; }
    void SetRadius(double radius) { m_radius = radius; }

private:
    double m_radius;
};

class Rectangle : public Shape {
public:
    Rectangle(double width, double height, std::wstring name);
    static boost::shared_ptr<Rectangle> Make(double width, double height, std::wstring name,
                                             const Color& color);

    std::wstring Kind() const override { return L"rectangle"; }
    double Area() const override { return m_width * m_height; }
    double Perimeter() const override { return 2 * (m_width + m_height); }
    void Scale(int factor) override;

    double GetWidth() const { return m_width; }
    void SetWidth(double width) { m_width = width; }
    double GetHeight() const { return m_height; }
    void SetHeight(double height) { m_height = height; }
    void GetSize(double& width, double& height) const;
    bool IsSquare() const { return m_width == m_height; }

private:
    double m_width;
    double m_height;
};

/// An ordered collection of shapes.
class Canvas : private Detail::LiveCounted {
public:
    explicit Canvas(std::wstring title) : m_title(std::move(title)) {}

    const std::wstring& GetTitle() const { return m_title; }
    void Add(boost::shared_ptr<Shape> shape) { m_shapes.push_back(std::move(shape)); }
    void AddAll(const std::vector<boost::shared_ptr<Shape>>& shapes);
    const std::vector<boost::shared_ptr<Shape>>& GetShapes() const { return m_shapes; }
    long Count() const { return static_cast<long>(m_shapes.size()); }
    /// The names of the shapes, in order.
    std::vector<std::wstring> Names() const;
    /// Calls `visit` with each shape and its 1-based index; how many shapes it visited. `visit`
    /// may change the canvas: the walk goes over the shapes the canvas had when called.
    long ForEach(const std::function<void(const boost::shared_ptr<Shape>&, long)>& visit) const;
    /// The shapes for which `keep`, given each shape and its index, returns true, walked as
    /// ForEach walks them.
    std::vector<boost::shared_ptr<Shape>> Select(
        const std::function<bool(const boost::shared_ptr<Shape>&, long)>& keep) const;
    double TotalArea() const;
    /// The shape with the largest area; empty when the canvas is empty.
    boost::shared_ptr<Shape> Largest() const;

private:
    std::wstring m_title;
    std::vector<boost::shared_ptr<Shape>> m_shapes;
};

}  // namespace Shapes
