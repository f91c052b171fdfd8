// The layer's own logic, with the ES table filled by recording fakes: what
// it sends to ES for matrices, quads, lists, colours and bad use.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "render/gl1es.h"
#include "render/gl1es_es3.h"

namespace {

struct Draw {
    std::vector<uint32_t> indices;
    std::vector<float> mvp;         // the u_mvp uniform at the draw
    bool constant = false;          // u_constant
    std::vector<float> current;     // u_current
    GLuint texture = 0;
};

struct Recorder {
    std::map<std::string, int> calls;
    std::map<GLuint, std::vector<uint8_t>> buffers;
    GLuint array_buffer = 0, element_buffer = 0, texture = 0, next_name = 1;
    std::vector<std::vector<uint8_t>> vao_elements; // element buffer bound per vertex array
    std::map<GLuint, GLuint> vao_ibo;
    GLuint vao = 0;
    std::map<GLint, std::vector<float>> uniforms;
    std::map<GLint, int> uniform_ints;
    std::vector<Draw> draws;
    std::string missing;
};

Recorder *rec;

// Uniform locations: one per name, whatever the program.
GLint Location(const char *name)
{
    static const char *names[] = {"u_mvp", "u_colour", "u_texcoord", "u_constant", "u_current", "u_picture"};
    for (int i = 0; i < 6; i++)
        if (!strcmp(name, names[i]))
            return i + 1;
    return -1;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define FAKE(ret, name, params) \
    ret Fake##name params       \
    {                           \
        rec->calls[#name]++;    \
        return (ret)0;          \
    }
#define FAKE_VOID(ret, name, params) \
    void Fake##name params            \
    {                                 \
        rec->calls[#name]++;          \
    }
FAKE_VOID(void, ActiveTexture, (GLenum texture))
FAKE_VOID(void, AttachShader, (GLuint program, GLuint shader))
FAKE_VOID(void, BindAttribLocation, (GLuint program, GLuint index, const GLchar *name))
FAKE_VOID(void, BindSampler, (GLuint unit, GLuint sampler))
FAKE_VOID(void, BlendFunc, (GLenum sfactor, GLenum dfactor))
FAKE_VOID(void, Clear, (GLbitfield mask))
FAKE_VOID(void, ClearColor, (GLfloat r, GLfloat g, GLfloat b, GLfloat a))
FAKE_VOID(void, CompileShader, (GLuint shader))
FAKE_VOID(void, CullFace, (GLenum mode))
FAKE_VOID(void, DeleteProgram, (GLuint program))
FAKE_VOID(void, DeleteSamplers, (GLsizei n, const GLuint *samplers))
FAKE_VOID(void, DeleteShader, (GLuint shader))
FAKE_VOID(void, DeleteTextures, (GLsizei n, const GLuint *textures))
FAKE_VOID(void, DeleteVertexArrays, (GLsizei n, const GLuint *arrays))
FAKE_VOID(void, Disable, (GLenum cap))
FAKE_VOID(void, Enable, (GLenum cap))
FAKE_VOID(void, EnableVertexAttribArray, (GLuint index))
FAKE_VOID(void, Finish, (void))
FAKE_VOID(void, FrontFace, (GLenum mode))
FAKE(GLenum, GetError, (void))
FAKE_VOID(void, GetProgramInfoLog, (GLuint program, GLsizei size, GLsizei *length, GLchar *log))
FAKE_VOID(void, GetShaderInfoLog, (GLuint shader, GLsizei size, GLsizei *length, GLchar *log))
FAKE_VOID(void, LinkProgram, (GLuint program))
FAKE_VOID(void, PixelStorei, (GLenum name, GLint value))
FAKE_VOID(void, ReadPixels, (GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, void *pixels))
FAKE_VOID(void, SamplerParameteri, (GLuint sampler, GLenum name, GLint value))
FAKE_VOID(void, Scissor, (GLint x, GLint y, GLsizei w, GLsizei h))
FAKE_VOID(void, ShaderSource, (GLuint shader, GLsizei count, const GLchar *const *text, const GLint *length))
FAKE_VOID(void, TexImage2D, (GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border, GLenum format, GLenum type, const void *pixels))
FAKE_VOID(void, Uniform2f, (GLint location, GLfloat x, GLfloat y))
FAKE_VOID(void, UseProgram, (GLuint program))
FAKE_VOID(void, VertexAttribPointer, (GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride, const void *offset))
FAKE_VOID(void, Viewport, (GLint x, GLint y, GLsizei w, GLsizei h))

void FakeGenNames(GLsizei n, GLuint *names)
{
    for (GLsizei i = 0; i < n; i++)
        names[i] = rec->next_name++;
}
void FakeGenBuffers(GLsizei n, GLuint *b) { rec->calls["GenBuffers"]++; FakeGenNames(n, b); }
void FakeGenSamplers(GLsizei n, GLuint *b) { FakeGenNames(n, b); }
void FakeGenTextures(GLsizei n, GLuint *b) { rec->calls["GenTextures"]++; FakeGenNames(n, b); }
void FakeGenVertexArrays(GLsizei n, GLuint *b) { FakeGenNames(n, b); }
void FakeDeleteBuffers(GLsizei n, const GLuint *b)
{
    rec->calls["DeleteBuffers"] += n;
    for (GLsizei i = 0; i < n; i++)
        rec->buffers.erase(b[i]);
}
GLuint FakeCreateProgram(void) { return rec->next_name++; }
GLuint FakeCreateShader(GLenum type) { return rec->next_name++; }
void FakeGetShaderiv(GLuint shader, GLenum name, GLint *value) { *value = 1; }
void FakeGetProgramiv(GLuint program, GLenum name, GLint *value) { *value = 1; }
const GLubyte *FakeGetString(GLenum name) { return (const GLubyte *)"fake rasteriser"; }
GLint FakeGetUniformLocation(GLuint program, const GLchar *name) { return Location(name); }
void FakeBindVertexArray(GLuint a) { rec->vao = a; rec->element_buffer = rec->vao_ibo[a]; }
void FakeBindBuffer(GLenum target, GLuint b)
{
    if (target == GL_ARRAY_BUFFER)
        rec->array_buffer = b;
    else {
        rec->element_buffer = b;
        rec->vao_ibo[rec->vao] = b;
    }
}
void FakeBindTexture(GLenum target, GLuint t) { rec->texture = t; }
void FakeBufferData(GLenum target, GLsizeiptr size, const void *data, GLenum usage)
{
    const GLuint b = target == GL_ARRAY_BUFFER ? rec->array_buffer : rec->element_buffer;
    rec->buffers[b].assign((const uint8_t *)data, (const uint8_t *)data + size);
}
void FakeUniform1i(GLint location, GLint v) { rec->uniform_ints[location] = v; }
void FakeUniform4f(GLint location, GLfloat x, GLfloat y, GLfloat z, GLfloat w) { rec->uniforms[location] = {x, y, z, w}; }
void FakeUniform4fv(GLint location, GLsizei count, const GLfloat *v) { rec->uniforms[location].assign(v, v + 4 * count); }
void FakeDrawElements(GLenum mode, GLsizei count, GLenum type, const void *offset)
{
    Draw d;
    const std::vector<uint8_t> &ib = rec->buffers[rec->element_buffer];
    const uint32_t *first = (const uint32_t *)(ib.data() + (uintptr_t)offset);
    d.indices.assign(first, first + count);
    d.mvp = rec->uniforms[Location("u_mvp")];
    d.constant = rec->uniform_ints[Location("u_constant")] != 0;
    d.current = rec->uniforms[Location("u_current")];
    d.texture = rec->texture;
    rec->draws.push_back(d);
}
#pragma GCC diagnostic pop

#define FAKE_ENTRY(ret, name, params) {"gl" #name, (void *)Fake##name},
const std::map<std::string, void *> fakes = {GL1ES_ES3_FUNCTIONS(FAKE_ENTRY)};

void *Lookup(const char *name)
{
    if (rec->missing == name)
        return nullptr;
    auto it = fakes.find(name);
    return it == fakes.end() ? nullptr : it->second;
}

class Layer : public ::testing::Test {
protected:
    void SetUp() override
    {
        rec = &recorder;
        const char *missing = nullptr;
        ASSERT_TRUE(GL1ES_Init(Lookup, &missing)) << missing;
        glViewport(0, 0, 640, 480);
    }
    void TearDown() override
    {
        GL1ES_Shutdown();
        rec = nullptr;
    }
    gl1es_stats_t Stats()
    {
        gl1es_stats_t s;
        GL1ES_GetStats(&s);
        return s;
    }
    // One quad in pixel space (glOrtho 0..640 x 0..480), corners given.
    void PixelSpace()
    {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, 640, 0, 480, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
    void Quad(float x0, float y0, float x1, float y1)
    {
        glBegin(GL_QUADS);
        glVertex2f(x0, y0);
        glVertex2f(x1, y0);
        glVertex2f(x1, y1);
        glVertex2f(x0, y1);
        glEnd();
    }
    Recorder recorder;
};

TEST(LayerInit, NamesTheFirstMissingFunctionAndStaysDown)
{
    Recorder r;
    rec = &r;
    r.missing = "glBindSampler";
    const char *missing = nullptr;
    EXPECT_FALSE(GL1ES_Init(Lookup, &missing));
    EXPECT_STREQ(missing, "glBindSampler");
    // Calls without a layer do nothing rather than crash.
    glBegin(GL_QUADS);
    glVertex2f(0, 0);
    glEnd();
    glCallList(1);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    rec = nullptr;
}

TEST_F(Layer, MatrixStacksKeepTheGLMinimumsAndCountWhatTheyIgnore)
{
    GLint depth = 0;
    glGetIntegerv(GL_MAX_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_GE(depth, 32);
    glGetIntegerv(GL_MAX_PROJECTION_STACK_DEPTH, &depth);
    EXPECT_GE(depth, 2);
    for (int i = 0; i < 31; i++)
        glPushMatrix();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    glTranslatef(5, 0, 0);
    glPushMatrix(); // full: ignored, the top stays
    EXPECT_EQ(glGetError(), (GLenum)GL_STACK_OVERFLOW);
    EXPECT_EQ(Stats().stack_overflows, 1u);
    for (int i = 0; i < 31; i++)
        glPopMatrix();
    glPopMatrix(); // the last matrix: ignored
    EXPECT_EQ(glGetError(), (GLenum)GL_STACK_UNDERFLOW);
    EXPECT_EQ(Stats().stack_underflows, 1u);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    // The projection stack is separate.
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    EXPECT_EQ(Stats().stack_underflows, 2u);
}

TEST_F(Layer, MatricesComposeAsTheGLDoes)
{
    PixelSpace();
    glTranslatef(10, 20, 0);
    glScalef(2, 3, 1);
    glRotatef(90, 0, 0, 1);
    Quad(0, 0, 1, 1);
    glFinish();
    ASSERT_EQ(recorder.draws.size(), 1u);
    const std::vector<float> &m = recorder.draws[0].mvp;
    ASSERT_EQ(m.size(), 16u);
    // Ortho * T * S * Rz(90): x' = -2y + 10 and y' = 3x + 20 in pixels.
    const float s = sinf((float)(90 * M_PI / 180.0)), c = cosf((float)(90 * M_PI / 180.0));
    EXPECT_EQ(m[0], (2.0f / 640) * (2 * c));
    EXPECT_EQ(m[4], (2.0f / 640) * (2 * -s));
    EXPECT_EQ(m[5], (2.0f / 480) * (3 * c));
    EXPECT_EQ(m[12], (2.0f / 640) * 10 + -1.0f);
    EXPECT_EQ(m[13], (2.0f / 480) * 20 + -1.0f);
    EXPECT_EQ(m[15], 1.0f);
}

TEST_F(Layer, GluCameraMatchesItsDefinition)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 2.0, 1.0, 3.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, 0, 5, 0, 0, 0, 0, 1, 0);
    Quad(0, 0, 1, 1);
    glFinish();
    ASSERT_EQ(recorder.draws.size(), 1u);
    const std::vector<float> &m = recorder.draws[0].mvp;
    const float cot = (float)(cos(M_PI / 4) / sin(M_PI / 4));
    EXPECT_EQ(m[0], cot / 2.0f);
    EXPECT_EQ(m[5], cot);
    EXPECT_EQ(m[11], -1.0f);
    EXPECT_EQ(m[15], 5.0f); // w = distance from the eye
    EXPECT_EQ(m[10], -2.0f); // -(3+1)/2
}

TEST_F(Layer, QuadsSplitOnTheDiagonalTheFixedFunctionDrawTakes)
{
    PixelSpace();
    // Inside the clip volume, drawn as an array: (0,1,2) (0,2,3).
    Quad(10, 10, 20, 20);
    glFinish();
    ASSERT_EQ(recorder.draws.size(), 1u);
    EXPECT_EQ(recorder.draws[0].indices, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));
    // A corner outside: the clipper's split (0,1,3) (1,2,3) for the whole draw.
    Quad(10, 10, 20, 20);
    Quad(600, 400, 700, 500);
    glFinish();
    ASSERT_EQ(recorder.draws.size(), 2u);
    EXPECT_EQ(recorder.draws[1].indices, (std::vector<uint32_t>{0, 1, 3, 1, 2, 3, 4, 5, 7, 5, 6, 7}));
    // In a list, drawn indexed: (0,1,3) (1,2,3) always. Quad strips: (0,1,3) (2,0,3).
    glNewList(1, GL_COMPILE);
    Quad(10, 10, 20, 20);
    glBegin(GL_QUAD_STRIP);
    for (int i = 0; i < 6; i++)
        glVertex2f((float)(i / 2) * 10, (float)(i % 2) * 10);
    glEnd();
    glEndList();
    glCallList(1);
    ASSERT_EQ(recorder.draws.size(), 3u);
    EXPECT_EQ(recorder.draws[2].indices,
              (std::vector<uint32_t>{0, 1, 3, 1, 2, 3, 4, 5, 7, 6, 4, 7, 6, 7, 9, 8, 6, 9}));
}

TEST_F(Layer, ColoursCarryAcrossPrimitivesAndListsAndAreClamped)
{
    PixelSpace();
    // A list that ends on a colour set inside glBegin/glEnd leaves it current.
    glNewList(1, GL_COMPILE);
    glBegin(GL_TRIANGLES);
    glColor4f(0.25f, 0.5f, 0.75f, 1);
    glVertex2f(0, 0);
    glVertex2f(1, 0);
    glColor4f(0.5f, 0.25f, 2.0f, 0.5f);
    glVertex2f(0, 1);
    glEnd();
    glEndList();
    glColor4f(1, 1, 1, 1);
    glCallList(1);
    EXPECT_FALSE(recorder.draws.back().constant); // per-vertex colours
    // Then a primitive without colours draws with that one, clamped, uninterpolated.
    Quad(0, 0, 1, 1);
    glFinish();
    ASSERT_EQ(recorder.draws.size(), 2u);
    EXPECT_TRUE(recorder.draws[1].constant);
    EXPECT_EQ(recorder.draws[1].current, (std::vector<float>{0.5f, 0.25f, 1.0f, 0.5f}));
    // Compiling does not change the current colour.
    glNewList(2, GL_COMPILE);
    glColor4f(0, 0, 0, 0);
    glEndList();
    Quad(0, 0, 1, 1);
    glFinish();
    EXPECT_EQ(recorder.draws.back().current, (std::vector<float>{0.5f, 0.25f, 1.0f, 0.5f}));
}

TEST_F(Layer, ListsNestAndRecompilingFreesWhatItReplaces)
{
    PixelSpace();
    glNewList(2, GL_COMPILE);
    Quad(0, 0, 1, 1);
    glEndList();
    glNewList(1, GL_COMPILE);
    glCallList(2); // by number, at run time
    glEndList();
    const size_t held = Stats().buffer_bytes;
    glCallList(1);
    ASSERT_EQ(recorder.draws.size(), 1u);
    // A later setup recompiles 2 with more in it: 1 draws the new one, and
    // the old buffers go.
    const int deleted = recorder.calls["DeleteBuffers"];
    glNewList(2, GL_COMPILE);
    Quad(0, 0, 1, 1);
    Quad(2, 2, 3, 3);
    glEndList();
    EXPECT_EQ(recorder.calls["DeleteBuffers"], deleted + 2);
    glCallList(1);
    ASSERT_EQ(recorder.draws.size(), 2u);
    EXPECT_EQ(recorder.draws[1].indices.size(), 12u);
    // Compiling the same list over and over holds no more than once.
    for (int i = 0; i < 5; i++) {
        glNewList(2, GL_COMPILE);
        Quad(0, 0, 1, 1);
        glEndList();
    }
    EXPECT_EQ(Stats().buffer_bytes, held);
    EXPECT_EQ(Stats().lists, 2u);
}

TEST_F(Layer, PicturesInListsAreUploadedOnceAndBoundAtReplay)
{
    PixelSpace();
    const unsigned char pixels[2 * 2 * 3] = {};
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glNewList(1, GL_COMPILE);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    glEndList();
    EXPECT_EQ(recorder.calls["TexImage2D"], 1);
    EXPECT_EQ(Stats().texture_bytes, 12u);
    glEnable(GL_TEXTURE_2D);
    for (int i = 0; i < 3; i++) {
        glCallList(1);
        Quad(0, 0, 1, 1);
    }
    glFinish();
    EXPECT_EQ(recorder.calls["TexImage2D"], 1);
    ASSERT_EQ(recorder.draws.size(), 3u);
    EXPECT_NE(recorder.draws[2].texture, 0u);
    // Replacing the list releases its picture.
    glNewList(1, GL_COMPILE);
    glEndList();
    EXPECT_EQ(Stats().texture_bytes, 0u);
    EXPECT_EQ(Stats().textures, 0u);
}

TEST_F(Layer, BadUseIsIgnoredWithTheGLsErrors)
{
    glEnd();
    EXPECT_EQ(glGetError(), (GLenum)GL_INVALID_OPERATION);
    glCallList(999);
    EXPECT_EQ(Stats().unknown_list_calls, 1u);
    glNewList(1, GL_COMPILE);
    glNewList(2, GL_COMPILE);
    EXPECT_EQ(glGetError(), (GLenum)GL_INVALID_OPERATION);
    glCallList(1); // itself: stops at the nesting limit
    glEndList();
    glCallList(1);
    glEndList();
    EXPECT_EQ(glGetError(), (GLenum)GL_INVALID_OPERATION);
    glBegin(GL_QUADS);
    glBegin(GL_QUADS);
    EXPECT_EQ(glGetError(), (GLenum)GL_INVALID_OPERATION);
    glEnd();
    glNewList(0, GL_COMPILE);
    EXPECT_EQ(glGetError(), (GLenum)GL_INVALID_VALUE);
    glEnable(0x1234);
    EXPECT_EQ(glGetError(), (GLenum)GL_INVALID_ENUM);
}

} // namespace
