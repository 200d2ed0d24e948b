// MD2 entries: loaded and built exactly as the scene script loads its model.
#include <memory> // unique_ptr

#include "md2/md2.h" // Md2Model
#include "tools/inspect/inspect.h"

namespace {

void WriteFrames(const Md2Model& model, JsonWriter* json) {
    json->Key("frames");
    json->BeginArray();
    for (uint32_t f = 0; f < model.frameCount && model.frames != nullptr; ++f) {
        json->BeginArray();
        for (uint32_t v = 0; v < model.vertsPerFrame; ++v) {
            json->Floats(model.frames[static_cast<size_t>(f) * model.vertsPerFrame + v].position, 3);
        }
        json->EndArray();
    }
    json->EndArray();

    // Three corners per triangle; the fourth value of a record is not part of the model.
    json->Key("tris");
    json->BeginArray();
    for (uint32_t t = 0; t < model.facesPerFrame && model.tris != nullptr; ++t) {
        json->BeginArray();
        for (int corner = 0; corner < 3; ++corner) {
            json->Int(model.tris[static_cast<size_t>(t) * 4 + static_cast<size_t>(corner)]);
        }
        json->EndArray();
    }
    json->EndArray();

    json->Key("uv");
    json->BeginArray();
    for (uint32_t v = 0; v < model.vertsPerFrame && model.arrayVerts != nullptr; ++v) {
        const float uv[2] = {model.arrayVerts[v].u, model.arrayVerts[v].v};
        json->Floats(uv, 2);
    }
    json->EndArray();
}

} // namespace

bool InspectMd2(const InspectRequest& request, JsonWriter* json, std::string* error) {
    // The model lives in pool memory for the rest of the run, as in the
    // program; only the record itself is ours.
    std::unique_ptr<Md2Model> model(new Md2Model{});
    const int result = model->Load(request.entryName.c_str());
    if (result == -1) {
        *error = "entry not found";
        return false;
    }
    if (result != 1) {
        *error = "the MD2 loader rejected the file";
        return false;
    }
    json->BeginObject();
    json->Key("kind");
    json->String("md2");
    json->Key("name");
    json->String(request.displayName.c_str());
    json->Key("frameCount");
    json->Int(model->frameCount);
    json->Key("vertsPerFrame");
    json->Int(model->vertsPerFrame);
    json->Key("facesPerFrame");
    json->Int(model->facesPerFrame);
    json->Key("anims");
    json->BeginArray();
    for (uint32_t i = 0; i < model->animCount && i < static_cast<uint32_t>(kMd2MaxAnims); ++i) {
        json->BeginObject();
        json->Key("first");
        json->Int(model->anims[i].firstFrame);
        json->Key("count");
        json->Int(model->anims[i].frameCount);
        json->EndObject();
    }
    json->EndArray();
    json->Key("frameBoxes");
    json->BeginArray();
    for (uint32_t f = 0; f < model->frameCount && model->frameBoxes != nullptr; ++f) {
        json->Floats(model->frameBoxes + static_cast<size_t>(f) * 6, 6);
    }
    json->EndArray();
    if (request.vertices) {
        WriteFrames(*model, json);
    }
    json->EndObject();
    if (model->groups != nullptr) {
        // The one heap group Load makes; everything else is pool memory.
        delete model->groups;
    }
    return true;
}
