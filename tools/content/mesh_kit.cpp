// Mesh building: see mesh_kit.h.
#include "tools/content/mesh_kit.h"

#include <cmath>

Vec3f Add(const Vec3f& a, const Vec3f& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3f Sub(const Vec3f& a, const Vec3f& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3f Scale(const Vec3f& a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
Vec3f Cross(const Vec3f& a, const Vec3f& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(const Vec3f& a, const Vec3f& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3f Unit(const Vec3f& a) {
    const float l = std::sqrt(Dot(a, a));
    return l > 0.0f ? Scale(a, 1.0f / l) : a;
}

void MeshKit::Triangle(const Vec3f& a, const Vec3f& b, const Vec3f& c, const UV& ta, const UV& tb,
                       const UV& tc, const std::string& material) {
    const uint16_t base = static_cast<uint16_t>(vertices_.size());
    vertices_.insert(vertices_.end(), {a, b, c});
    uvs_.insert(uvs_.end(), {ta, tb, tc});
    // Flag bits 0..2 mark the visible edges, as modelling tools write them.
    faces_.push_back(Face3ds{base, static_cast<uint16_t>(base + 1), static_cast<uint16_t>(base + 2), 0x7});
    faceMaterial_.push_back(material);
}

void MeshKit::Quad(const Vec3f& p0, const Vec3f& p1, const Vec3f& p2, const Vec3f& p3,
                   const std::string& material, const UV& tile) {
    const uint16_t base = static_cast<uint16_t>(vertices_.size());
    vertices_.insert(vertices_.end(), {p0, p1, p2, p3});
    uvs_.insert(uvs_.end(), {UV{0.0f, 0.0f}, UV{tile.u, 0.0f}, UV{tile.u, tile.v}, UV{0.0f, tile.v}});
    faces_.push_back(Face3ds{base, static_cast<uint16_t>(base + 1), static_cast<uint16_t>(base + 2), 0x3});
    faces_.push_back(Face3ds{base, static_cast<uint16_t>(base + 2), static_cast<uint16_t>(base + 3), 0x6});
    faceMaterial_.push_back(material);
    faceMaterial_.push_back(material);
}

void MeshKit::QuadUV(const Vec3f& p0, const Vec3f& p1, const Vec3f& p2, const Vec3f& p3, const UV& t0,
                     const UV& t1, const UV& t2, const UV& t3, const std::string& material) {
    const uint16_t base = static_cast<uint16_t>(vertices_.size());
    vertices_.insert(vertices_.end(), {p0, p1, p2, p3});
    uvs_.insert(uvs_.end(), {t0, t1, t2, t3});
    faces_.push_back(Face3ds{base, static_cast<uint16_t>(base + 1), static_cast<uint16_t>(base + 2), 0x3});
    faces_.push_back(Face3ds{base, static_cast<uint16_t>(base + 2), static_cast<uint16_t>(base + 3), 0x6});
    faceMaterial_.push_back(material);
    faceMaterial_.push_back(material);
}

void MeshKit::Panel(const Vec3f& corner, const Vec3f& u, const Vec3f& v, int32_t nu, int32_t nv,
                    const std::string& material, float tileSize) {
    const float lu = std::sqrt(Dot(u, u)) / tileSize;
    const float lv = std::sqrt(Dot(v, v)) / tileSize;
    for (int32_t j = 0; j < nv; ++j) {
        for (int32_t i = 0; i < nu; ++i) {
            const float a0 = static_cast<float>(i) / static_cast<float>(nu);
            const float a1 = static_cast<float>(i + 1) / static_cast<float>(nu);
            const float b0 = static_cast<float>(j) / static_cast<float>(nv);
            const float b1 = static_cast<float>(j + 1) / static_cast<float>(nv);
            auto at = [&](float a, float b) { return Add(corner, Add(Scale(u, a), Scale(v, b))); };
            QuadUV(at(a0, b0), at(a1, b0), at(a1, b1), at(a0, b1), UV{a0 * lu, b0 * lv}, UV{a1 * lu, b0 * lv},
                   UV{a1 * lu, b1 * lv}, UV{a0 * lu, b1 * lv}, material);
        }
    }
}

void MeshKit::Box(const Vec3f& lo, const Vec3f& hi, const std::string& material, float tileSize, bool inside,
                  bool openBottom) {
    const Vec3f c[8] = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z},
                        {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}};
    const float sx = (hi.x - lo.x) / tileSize;
    const float sy = (hi.y - lo.y) / tileSize;
    const float sz = (hi.z - lo.z) / tileSize;
    // Each side counter-clockwise seen from outside.
    const int sides[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                             {2, 3, 7, 6}, {1, 2, 6, 5}, {3, 0, 4, 7}};
    const UV tiles[6] = {{sx, sy}, {sx, sy}, {sx, sz}, {sx, sz}, {sy, sz}, {sy, sz}};
    for (int s = openBottom ? 1 : 0; s < 6; ++s) {
        const int* q = sides[s];
        if (inside) {
            Quad(c[q[0]], c[q[3]], c[q[2]], c[q[1]], material, tiles[s]);
        } else {
            Quad(c[q[0]], c[q[1]], c[q[2]], c[q[3]], material, tiles[s]);
        }
    }
}

void MeshKit::BevelBlock(const Vec3f& centre, float width, float height, float depth, float bevel,
                         float angle, const std::string& faceMaterial, const std::string& edgeMaterial) {
    const float ca = std::cos(angle);
    const float sa = std::sin(angle);
    // Local (x across, z up) turned about y, then moved to the centre.
    auto at = [&](float x, float y, float z) {
        return Vec3f{centre.x + x * ca + z * sa, centre.y + y, centre.z - x * sa + z * ca};
    };
    const float w = width * 0.5f;
    const float h = height * 0.5f;
    const float d = depth * 0.5f;
    const float b = std::fmin(bevel, std::fmin(w, h) * 0.9f);
    // Front (toward -y) outline at y = -d + b, inset face at y = -d.
    const Vec3f o0 = at(-w, -d + b, -h), o1 = at(w, -d + b, -h), o2 = at(w, -d + b, h),
                o3 = at(-w, -d + b, h);
    const Vec3f i0 = at(-w + b, -d, -h + b), i1 = at(w - b, -d, -h + b), i2 = at(w - b, -d, h - b),
                i3 = at(-w + b, -d, h - b);
    const Vec3f k0 = at(-w, d, -h), k1 = at(w, d, -h), k2 = at(w, d, h), k3 = at(-w, d, h);
    const UV face{width / 16.0f, height / 16.0f};
    Quad(i0, i1, i2, i3, faceMaterial, face);
    const UV edge{width / 16.0f, 0.25f};
    const UV edgeV{height / 16.0f, 0.25f};
    Quad(o0, o1, i1, i0, edgeMaterial, edge);  // lower bevel
    Quad(i3, i2, o2, o3, edgeMaterial, edge);  // upper bevel
    Quad(o1, o2, i2, i1, edgeMaterial, edgeV); // right bevel
    Quad(o0, i0, i3, o3, edgeMaterial, edgeV); // left bevel
    const UV side{depth / 16.0f, height / 16.0f};
    Quad(o1, k1, k2, o2, edgeMaterial, side); // right side
    Quad(k0, o0, o3, k3, edgeMaterial, side); // left side
    const UV cap{width / 16.0f, depth / 16.0f};
    Quad(o3, o2, k2, k3, edgeMaterial, cap);  // top
    Quad(k0, k1, o1, o0, edgeMaterial, cap);  // bottom
    Quad(k1, k0, k3, k2, edgeMaterial, face); // back
}

Mesh3ds MeshKit::Make(const std::string& name, const Vec3f& origin) const {
    Mesh3ds m;
    m.name = name;
    m.vertices = vertices_;
    m.uvs = uvs_;
    m.faces = faces_;
    m.origin = origin;
    for (size_t f = 0; f < faces_.size(); ++f) {
        MeshGroup3ds* group = nullptr;
        for (MeshGroup3ds& g : m.groups) {
            if (g.material == faceMaterial_[f]) {
                group = &g;
            }
        }
        if (!group) {
            m.groups.push_back(MeshGroup3ds{faceMaterial_[f], {}});
            group = &m.groups.back();
        }
        group->faces.push_back(static_cast<uint16_t>(f));
    }
    return m;
}
