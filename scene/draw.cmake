# Scene drawing: meshes, MD2 instances, mirrors, camera and frustum, sky box.
# Included from scene/CMakeLists.txt.
find_package(OpenGL REQUIRED COMPONENTS OpenGL)

add_library(scene_draw STATIC
    ${CMAKE_CURRENT_LIST_DIR}/mesh_draw.cpp
    ${CMAKE_CURRENT_LIST_DIR}/md2_draw.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mirror_draw.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scene_render.cpp
    ${CMAKE_CURRENT_LIST_DIR}/camera_view.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sky_box.cpp)
target_link_libraries(scene_draw PUBLIC scene texture md2 math archive memory platform OpenGL::GL OpenGL::GLU)

# Recording GL table for the drawing's tests.
add_library(test_gl_recorder STATIC ${CMAKE_SOURCE_DIR}/tests/support/gl_recorder.cpp)
target_link_libraries(test_gl_recorder PUBLIC scene_draw)

tessaro_add_test(camera_test
    SOURCES ${CMAKE_SOURCE_DIR}/tests/camera_test.cpp
    LIBS scene_draw test_gl_recorder test_gl)
tessaro_add_test(scene_draw_test
    SOURCES ${CMAKE_SOURCE_DIR}/tests/scene_draw_test.cpp ${CMAKE_SOURCE_DIR}/tests/scene_draw_md2_test.cpp
    LIBS scene_draw test_gl_recorder test_gl)
tessaro_add_test(sky_box_test
    SOURCES ${CMAKE_SOURCE_DIR}/tests/sky_box_test.cpp
    LIBS scene_draw test_gl_recorder test_gl test_image_writer archive)

# Whole frames against the small golden images in tests/golden/.
find_package(PNG REQUIRED)
tessaro_add_test(scene_draw_golden_test
    SOURCES ${CMAKE_SOURCE_DIR}/tests/scene_draw_golden_test.cpp
    LIBS scene_draw test_gl PNG::PNG)

# Real content from the shared corpus through the whole drawing.
tessaro_add_test(scene_draw_corpus_test
    SOURCES ${CMAKE_SOURCE_DIR}/tests/scene_draw_corpus_test.cpp
    LIBS scene_draw loader3ds keyframe test_gl archive memory)
