// Mesh building for the content builder: faces are collected with their
// material and texture coordinates and turned into a Mesh3ds. Vertices are
// never shared between separate quads, so every flat panel keeps its own
// normal in the reader's averaging.
//
// Winding: a face is counter-clockwise seen from its front, in the 3DS file's
// right-handed z-up axes, which is what the reader's back-face test and vertex
// lighting expect.
#pragma once

#include "tools/content/scene3ds.h" // Mesh3ds, Vec3f, UV

#include <string>
#include <vector>

Vec3f Add(const Vec3f& a, const Vec3f& b);
Vec3f Sub(const Vec3f& a, const Vec3f& b);
Vec3f Scale(const Vec3f& a, float s);
Vec3f Cross(const Vec3f& a, const Vec3f& b);
float Dot(const Vec3f& a, const Vec3f& b);
// Unit vector along a; a itself when its length is 0.
Vec3f Unit(const Vec3f& a);

class MeshKit {
  public:
    // One triangle, counter-clockwise seen from the front.
    void Triangle(const Vec3f& a, const Vec3f& b, const Vec3f& c, const UV& ta, const UV& tb, const UV& tc,
                  const std::string& material);
    // A quad p0 p1 p2 p3, counter-clockwise seen from the front, as two
    // triangles; texture corners (0,0) (u,0) (u,v) (0,v) scaled by `tile`.
    void Quad(const Vec3f& p0, const Vec3f& p1, const Vec3f& p2, const Vec3f& p3, const std::string& material,
              const UV& tile = {1.0f, 1.0f});
    // A quad with explicit texture coordinates at its four corners.
    void QuadUV(const Vec3f& p0, const Vec3f& p1, const Vec3f& p2, const Vec3f& p3, const UV& t0,
                const UV& t1, const UV& t2, const UV& t3, const std::string& material);
    // The parallelogram corner, corner + u, corner + u + v, corner + v (front
    // where u x v points) cut into nu x nv quads, so vertex lighting has
    // enough samples; one texture repeat every `tileSize` units.
    void Panel(const Vec3f& corner, const Vec3f& u, const Vec3f& v, int32_t nu, int32_t nv,
               const std::string& material, float tileSize);
    // An axis-aligned box facing outwards (or inwards when `inside`), texture
    // tiles of `tileSize` units. `openBottom` leaves out the lowest side, for
    // boxes standing on the floor (nobody sees it, and on the mirror it would
    // cover the reflection).
    void Box(const Vec3f& lo, const Vec3f& hi, const std::string& material, float tileSize,
             bool inside = false, bool openBottom = false);
    // A box whose front face (toward -y) is inset by `bevel` and joined to the
    // outline by four slanted faces; `faceMaterial` on the front, `edgeMaterial`
    // on bevels, sides and back. The box is centred on `centre` and turned by
    // `angle` (radians) about the y axis, so slanted strokes can be made.
    void BevelBlock(const Vec3f& centre, float width, float height, float depth, float bevel, float angle,
                    const std::string& faceMaterial, const std::string& edgeMaterial);

    int32_t FaceCount() const { return static_cast<int32_t>(faces_.size()); }
    bool Empty() const { return faces_.empty(); }

    // The collected faces as a mesh named `name` with its pivot at `origin`;
    // one group per material in order of first use.
    Mesh3ds Make(const std::string& name, const Vec3f& origin) const;

  private:
    std::vector<Vec3f> vertices_;
    std::vector<UV> uvs_;
    std::vector<Face3ds> faces_;
    std::vector<std::string> faceMaterial_;
};
