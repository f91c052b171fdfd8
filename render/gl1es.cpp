// The scenes' OpenGL 1.x over OpenGL ES 3.0. See gl1es.h.
//
// Mesa's fixed-function path is the reference, and the points where it
// decides what reaches the rasteriser are copied in kind:
// - matrices: glTranslate/glScale edit the top in place, the others multiply
//   by a built matrix as a full 4x4 product, row by row, left to right;
//   glOrtho and GLU's doubles become floats where Mesa converts them;
// - the vertex transform: clip = c0*x, then c1*y + clip, c2*z + clip,
//   c3*w + clip with c the columns of projection * modelview, no fused ops;
// - quads: a list draws them indexed as (0,1,3) (1,2,3); immediate mode draws
//   them as arrays, which the rasteriser splits (0,1,2) (0,2,3) unless a vertex
//   of the draw lies outside the clip volume, when the clipper takes the
//   (0,1,3) (1,2,3) split again. The layer tests the clip volume on the CPU in
//   the same float operations and picks the same split;
// - a list whose vertices use a colour or texture coordinate set before the
//   list (the caller's) is replayed by Mesa as immediate mode, and so here.
#include "render/gl1es.h"
#include "render/gl1es_es3.h"

#include <GL/glu.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

static gl1es_es3_t es;
static bool gl1es_ready;

#define GL1ES_CLEAR(ret, name, params) es.name = nullptr;

static void ClearTable(void)
{
    GL1ES_ES3_FUNCTIONS(GL1ES_CLEAR)
}

// ---------------------------------------------------------------------------
// State

enum { MV_DEPTH = 32, PROJ_DEPTH = 32, MAX_NESTING = 64, CLIP_CHUNK = 1024 };
enum { PROG_COLOUR, PROG_REPLACE, PROG_MODULATE, PROG_COUNT };

struct gl1es_vertex_t {
    float x, y, z;
    float r, g, b, a;
    float s, t;
    float inherit_colour, inherit_texcoord;     // 1: take the current value at draw time
};

// One recorded command of a display list.
enum {
    OP_DRAW, OP_CALL, OP_COLOUR, OP_TEXCOORD, OP_MATRIX_MODE, OP_LOAD_IDENTITY, OP_LOAD_MATRIX,
    OP_MULT_MATRIX, OP_PUSH, OP_POP, OP_TRANSLATE, OP_ROTATE, OP_SCALE, OP_ORTHO, OP_ENABLE, OP_DISABLE,
    OP_BLEND_FUNC, OP_FRONT_FACE, OP_CULL_FACE, OP_VIEWPORT, OP_SCISSOR, OP_CLEAR_COLOUR, OP_CLEAR,
    OP_TEX_IMAGE, OP_TEX_PARAMETER, OP_TEX_ENV, OP_SHADE_MODEL, OP_POLYGON_MODE
};

struct gl1es_cmd_t {
    int op;
    unsigned u[4];
    float f[6];
    size_t matrix;                  // OP_LOAD_MATRIX / OP_MULT_MATRIX: offset in the list's floats
};

// A run of primitives between two state commands: one indexed draw. In a
// loopback list it keeps its vertices and primitives for the immediate path.
struct gl1es_draw_t {
    unsigned first_index, index_count;
    bool loopback, constant;
    size_t first_vertex, vertex_count; // loopback: vertices of the list
    std::vector<uint32_t> prim_modes, prim_counts;
};

struct gl1es_list_t {
    std::vector<gl1es_cmd_t> cmds;
    std::vector<float> matrices;
    std::vector<gl1es_draw_t> draws;
    std::vector<gl1es_vertex_t> vertices; // kept for loopback draws only
    std::vector<GLuint> textures;
    size_t texture_bytes = 0;
    GLuint vao = 0, vbo = 0, ibo = 0;
    size_t buffer_bytes = 0;
};

struct gl1es_prim_t {
    GLenum mode;
    size_t first, count;
    bool constant;
};

struct gl1es_state_t {
    // transform
    float modelview[MV_DEPTH][16], projection[PROJ_DEPTH][16];
    int mv_top, proj_top;
    GLenum matrix_mode;
    unsigned matrix_serial;
    float mvp[16];
    unsigned mvp_serial;
    // current vertex attributes
    float colour[4], texcoord[2];
    // enables and modes
    bool blend, depth_test, cull_face, texture_2d, scissor_test;
    GLenum blend_src, blend_dst, front_face, cull_mode, tex_env_mode;
    GLenum min_filter, mag_filter, wrap_s, wrap_t;
    GLint viewport[4], scissor[4];
    float clear_colour[4];
    GLint unpack_alignment, pack_alignment;
    GLenum error;
    // texture 0's image: a list's picture or the upload outside lists
    GLuint image;
    GLuint upload_texture;
    size_t upload_bytes;
    // begin/end
    bool inside;
    GLenum begin_mode;
    size_t begin_first;
    // immediate mode: vertices waiting to be drawn, merged like Mesa's
    std::vector<gl1es_vertex_t> imm;
    std::vector<gl1es_prim_t> imm_prims;
    // lists
    std::map<unsigned, std::unique_ptr<gl1es_list_t>> lists;
    gl1es_list_t *compiling;
    unsigned compiling_name;
    bool compile_colour_known, compile_texcoord_known, compile_loopback, compile_pending;
    float compile_colour[4], compile_texcoord[2];
    std::vector<gl1es_vertex_t> compile_vertices;
    std::vector<uint32_t> compile_indices;
    bool compile_draw_open;
    int nesting;
    // ES objects and the ES state last set
    GLuint programs[PROG_COUNT];
    GLint loc_mvp[PROG_COUNT], loc_colour[PROG_COUNT], loc_texcoord[PROG_COUNT];
    GLint loc_constant[PROG_COUNT], loc_current[PROG_COUNT];
    int prog_constant[PROG_COUNT];
    float prog_current[PROG_COUNT][4];
    bool draw_constant;             // the draw's colour is the current one, not interpolated
    bool prim_colour;               // glColor inside this glBegin/glEnd
    bool imm_varying;               // immediate mode: the gathered vertices carry colours
    unsigned prog_mvp_serial[PROG_COUNT];
    float prog_colour[PROG_COUNT][4], prog_texcoord[PROG_COUNT][2];
    GLuint sampler, stream_vao, stream_vbo, stream_ibo;
    size_t stream_vbo_bytes, stream_ibo_bytes;
    int es_program;
    GLuint es_vao, es_texture;
    int es_blend, es_depth, es_cull, es_scissor;
    GLenum es_blend_src, es_blend_dst, es_front, es_cull_mode;
    GLint es_viewport[4], es_scissor_box[4];
    float es_clear[4];
    GLint es_min, es_mag, es_wrap_s, es_wrap_t;
    std::string renderer;
};

static gl1es_state_t *st;
static gl1es_stats_t stats;

static void SetError(GLenum e)
{
    if (st && st->error == GL_NO_ERROR)
        st->error = e;
}

// ---------------------------------------------------------------------------
// Matrices, in Mesa's float arithmetic

static const float gl1es_identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// product = a * b, column-major; product may be a, not b.
static void MatMul(float *product, const float *a, const float *b)
{
    for (int i = 0; i < 4; i++) {
        const float ai0 = a[i], ai1 = a[4 + i], ai2 = a[8 + i], ai3 = a[12 + i];
        product[i] = ai0 * b[0] + ai1 * b[1] + ai2 * b[2] + ai3 * b[3];
        product[4 + i] = ai0 * b[4] + ai1 * b[5] + ai2 * b[6] + ai3 * b[7];
        product[8 + i] = ai0 * b[8] + ai1 * b[9] + ai2 * b[10] + ai3 * b[11];
        product[12 + i] = ai0 * b[12] + ai1 * b[13] + ai2 * b[14] + ai3 * b[15];
    }
}

static float *Top(void)
{
    return st->matrix_mode == GL_PROJECTION ? st->projection[st->proj_top] : st->modelview[st->mv_top];
}

static void Changed(void)
{
    st->matrix_serial++;
}

static void MultTop(const float *m)
{
    float *top = Top();
    MatMul(top, top, m);
    Changed();
}

static void DoTranslate(float x, float y, float z)
{
    float *m = Top();
    m[12] = m[0] * x + m[4] * y + m[8] * z + m[12];
    m[13] = m[1] * x + m[5] * y + m[9] * z + m[13];
    m[14] = m[2] * x + m[6] * y + m[10] * z + m[14];
    m[15] = m[3] * x + m[7] * y + m[11] * z + m[15];
    Changed();
}

static void DoScale(float x, float y, float z)
{
    float *m = Top();
    for (int i = 0; i < 4; i++) {
        m[i] *= x;
        m[4 + i] *= y;
        m[8 + i] *= z;
    }
    Changed();
}

// Axis rotations get an exact matrix with the sine and cosine alone, as in Mesa.
static void DoRotate(float angle, float x, float y, float z)
{
    if (angle == 0.0f)
        return;
    const float s = sinf((float)(angle * M_PI / 180.0)), c = cosf((float)(angle * M_PI / 180.0));
    float m[16];
    memcpy(m, gl1es_identity, sizeof m);
#define M(row, col) m[(col) * 4 + (row)]
    bool done = false;
    if (x == 0.0f && y == 0.0f && z != 0.0f) {
        M(0, 0) = c; M(1, 1) = c;
        M(0, 1) = z < 0.0f ? s : -s;
        M(1, 0) = z < 0.0f ? -s : s;
        done = true;
    } else if (x == 0.0f && y != 0.0f && z == 0.0f) {
        M(0, 0) = c; M(2, 2) = c;
        M(0, 2) = y < 0.0f ? -s : s;
        M(2, 0) = y < 0.0f ? s : -s;
        done = true;
    } else if (x != 0.0f && y == 0.0f && z == 0.0f) {
        M(1, 1) = c; M(2, 2) = c;
        M(1, 2) = x < 0.0f ? s : -s;
        M(2, 1) = x < 0.0f ? -s : s;
        done = true;
    }
    if (!done) {
        const float mag = sqrtf(x * x + y * y + z * z);
        if (mag <= 1.0e-4f)
            return;
        x /= mag; y /= mag; z /= mag;
        const float xx = x * x, yy = y * y, zz = z * z, xy = x * y, yz = y * z, zx = z * x;
        const float xs = x * s, ys = y * s, zs = z * s, one_c = 1.0f - c;
        M(0, 0) = (one_c * xx) + c; M(0, 1) = (one_c * xy) - zs; M(0, 2) = (one_c * zx) + ys;
        M(1, 0) = (one_c * xy) + zs; M(1, 1) = (one_c * yy) + c; M(1, 2) = (one_c * yz) - xs;
        M(2, 0) = (one_c * zx) - ys; M(2, 1) = (one_c * yz) + xs; M(2, 2) = (one_c * zz) + c;
    }
#undef M
    MultTop(m);
}

static void DoOrtho(float l, float r, float b, float t, float n, float f)
{
    if (l == r || b == t || n == f) {
        SetError(GL_INVALID_VALUE);
        return;
    }
    float m[16];
    memset(m, 0, sizeof m);
    m[0] = 2.0f / (r - l);
    m[12] = -(r + l) / (r - l);
    m[5] = 2.0f / (t - b);
    m[13] = -(t + b) / (t - b);
    m[10] = -2.0f / (f - n);
    m[14] = -(f + n) / (f - n);
    m[15] = 1.0f;
    MultTop(m);
}

static void DoPush(void)
{
    if (st->matrix_mode == GL_PROJECTION) {
        if (st->proj_top + 1 >= PROJ_DEPTH) {
            stats.stack_overflows++;
            SetError(GL_STACK_OVERFLOW);
            return;
        }
        memcpy(st->projection[st->proj_top + 1], st->projection[st->proj_top], sizeof(float) * 16);
        st->proj_top++;
    } else {
        if (st->mv_top + 1 >= MV_DEPTH) {
            stats.stack_overflows++;
            SetError(GL_STACK_OVERFLOW);
            return;
        }
        memcpy(st->modelview[st->mv_top + 1], st->modelview[st->mv_top], sizeof(float) * 16);
        st->mv_top++;
    }
}

static void DoPop(void)
{
    int *top = st->matrix_mode == GL_PROJECTION ? &st->proj_top : &st->mv_top;
    if (*top == 0) {
        stats.stack_underflows++;
        SetError(GL_STACK_UNDERFLOW);
        return;
    }
    (*top)--;
    Changed();
}

static const float *MVP(void)
{
    if (st->mvp_serial != st->matrix_serial) {
        MatMul(st->mvp, st->projection[st->proj_top], st->modelview[st->mv_top]);
        st->mvp_serial = st->matrix_serial;
    }
    return st->mvp;
}

// Whether a vertex lies outside the clip volume, computed as the vertex
// shader and the clipper do.
static bool Outside(const float *m, const gl1es_vertex_t &v)
{
    float p[4];
    for (int k = 0; k < 4; k++) {
        float q = m[k] * v.x;
        q = m[4 + k] * v.y + q;
        q = m[8 + k] * v.z + q;
        p[k] = m[12 + k] * 1.0f + q;
    }
    const float w = p[3];
    return p[0] > w || 0.0f > p[0] + w || p[1] > w || 0.0f > p[1] + w || 0.0f > p[2] + w || p[2] > w;
}

// ---------------------------------------------------------------------------
// Shaders

static const char *gl1es_vertex_shader =
    "#version 300 es\n"
    "uniform vec4 u_mvp[4];\n"
    "uniform vec4 u_colour;\n"
    "uniform vec2 u_texcoord;\n"
    "in vec3 a_position;\n"
    "in vec4 a_colour;\n"
    "in vec2 a_texcoord;\n"
    "in vec2 a_inherit;\n"
    "out vec4 v_colour;\n"
    "out vec4 v_texcoord;\n"
    "void main() {\n"
    "    vec4 p = u_mvp[0] * a_position.x;\n"
    "    p = u_mvp[1] * a_position.y + p;\n"
    "    p = u_mvp[2] * a_position.z + p;\n"
    "    gl_Position = u_mvp[3] + p;\n"
    "    vec4 c = a_inherit.x > 0.5 ? u_colour : a_colour;\n"
    "    v_colour = clamp(c, 0.0, 1.0);\n"
    "    v_texcoord = vec4(a_inherit.y > 0.5 ? u_texcoord : a_texcoord, 0.0, 1.0);\n"
    "}\n";

static const char *gl1es_fragment_shaders[PROG_COUNT] = {
    "#version 300 es\n"
    "precision highp float;\n"
    "uniform bool u_constant;\n"
    "uniform vec4 u_current;\n"
    "in vec4 v_colour;\n"
    "out vec4 o_colour;\n"
    "void main() { o_colour = u_constant ? u_current : v_colour; }\n",
    // GL_REPLACE on an RGB picture: its colour, the fragment's alpha.
    "#version 300 es\n"
    "precision highp float;\n"
    "uniform highp sampler2D u_picture;\n"
    "uniform bool u_constant;\n"
    "uniform vec4 u_current;\n"
    "in vec4 v_colour;\n"
    "in vec4 v_texcoord;\n"
    "out vec4 o_colour;\n"
    "void main() { o_colour = vec4(textureProj(u_picture, v_texcoord).rgb, u_constant ? u_current.a : v_colour.a); }\n",
    "#version 300 es\n"
    "precision highp float;\n"
    "uniform highp sampler2D u_picture;\n"
    "uniform bool u_constant;\n"
    "uniform vec4 u_current;\n"
    "in vec4 v_colour;\n"
    "in vec4 v_texcoord;\n"
    "out vec4 o_colour;\n"
    "void main() { o_colour = textureProj(u_picture, v_texcoord) * (u_constant ? u_current : v_colour); }\n",
};

enum { ATTR_POSITION, ATTR_COLOUR, ATTR_TEXCOORD, ATTR_INHERIT };

static std::string gl1es_log;

static GLuint Compile(GLenum type, const char *source)
{
    GLuint shader = es.CreateShader(type);
    es.ShaderSource(shader, 1, &source, nullptr);
    es.CompileShader(shader);
    GLint ok = 0;
    es.GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        es.GetShaderInfoLog(shader, sizeof log, nullptr, log);
        gl1es_log = std::string("shader does not compile: ") + log;
        es.DeleteShader(shader);
        return 0;
    }
    return shader;
}

static bool BuildPrograms(void)
{
    GLuint vs = Compile(GL_VERTEX_SHADER, gl1es_vertex_shader);
    if (!vs)
        return false;
    bool ok = true;
    for (int p = 0; p < PROG_COUNT && ok; p++) {
        GLuint fs = Compile(GL_FRAGMENT_SHADER, gl1es_fragment_shaders[p]);
        if (!fs) {
            ok = false;
            break;
        }
        GLuint prog = es.CreateProgram();
        es.AttachShader(prog, vs);
        es.AttachShader(prog, fs);
        es.BindAttribLocation(prog, ATTR_POSITION, "a_position");
        es.BindAttribLocation(prog, ATTR_COLOUR, "a_colour");
        es.BindAttribLocation(prog, ATTR_TEXCOORD, "a_texcoord");
        es.BindAttribLocation(prog, ATTR_INHERIT, "a_inherit");
        es.LinkProgram(prog);
        es.DeleteShader(fs);
        GLint linked = 0;
        es.GetProgramiv(prog, GL_LINK_STATUS, &linked);
        if (!linked) {
            char log[1024] = "";
            es.GetProgramInfoLog(prog, sizeof log, nullptr, log);
            gl1es_log = std::string("program does not link: ") + log;
            es.DeleteProgram(prog);
            ok = false;
            break;
        }
        st->programs[p] = prog;
        st->loc_mvp[p] = es.GetUniformLocation(prog, "u_mvp");
        st->loc_colour[p] = es.GetUniformLocation(prog, "u_colour");
        st->loc_texcoord[p] = es.GetUniformLocation(prog, "u_texcoord");
        st->loc_constant[p] = es.GetUniformLocation(prog, "u_constant");
        st->loc_current[p] = es.GetUniformLocation(prog, "u_current");
        st->prog_constant[p] = -1;
        st->prog_current[p][0] = NAN;
        es.UseProgram(prog);
        if (p != PROG_COLOUR)
            es.Uniform1i(es.GetUniformLocation(prog, "u_picture"), 0);
        // NaN never compares equal: the first draw uploads the real values.
        st->prog_mvp_serial[p] = ~0u;
        st->prog_colour[p][0] = st->prog_texcoord[p][0] = NAN;
    }
    es.DeleteShader(vs);
    return ok;
}

// ---------------------------------------------------------------------------
// ES state, set only where it differs from what ES has

static void EsCap(GLenum cap, int *have, bool want)
{
    if (*have != (int)want) {
        want ? es.Enable(cap) : es.Disable(cap);
        *have = want;
        stats.state_calls++;
    }
}

static bool Textured(void)
{
    // A minifying filter that needs mipmaps leaves the one-level texture
    // incomplete, and the GL then draws as if texturing were off.
    const bool complete = st->min_filter == GL_NEAREST || st->min_filter == GL_LINEAR;
    return st->texture_2d && st->image && complete;
}

static void ApplyDrawState(void)
{
    EsCap(GL_BLEND, &st->es_blend, st->blend);
    EsCap(GL_DEPTH_TEST, &st->es_depth, st->depth_test);
    EsCap(GL_CULL_FACE, &st->es_cull, st->cull_face);
    EsCap(GL_SCISSOR_TEST, &st->es_scissor, st->scissor_test);
    if (st->blend && (st->es_blend_src != st->blend_src || st->es_blend_dst != st->blend_dst)) {
        es.BlendFunc(st->blend_src, st->blend_dst);
        st->es_blend_src = st->blend_src;
        st->es_blend_dst = st->blend_dst;
        stats.state_calls++;
    }
    if (st->es_front != st->front_face) {
        es.FrontFace(st->front_face);
        st->es_front = st->front_face;
        stats.state_calls++;
    }
    if (st->cull_face && st->es_cull_mode != st->cull_mode) {
        es.CullFace(st->cull_mode);
        st->es_cull_mode = st->cull_mode;
        stats.state_calls++;
    }
    if (memcmp(st->es_viewport, st->viewport, sizeof st->viewport) != 0) {
        es.Viewport(st->viewport[0], st->viewport[1], st->viewport[2], st->viewport[3]);
        memcpy(st->es_viewport, st->viewport, sizeof st->viewport);
        stats.state_calls++;
    }
    if (st->scissor_test && memcmp(st->es_scissor_box, st->scissor, sizeof st->scissor) != 0) {
        es.Scissor(st->scissor[0], st->scissor[1], st->scissor[2], st->scissor[3]);
        memcpy(st->es_scissor_box, st->scissor, sizeof st->scissor);
        stats.state_calls++;
    }
    const bool textured = Textured();
    const int p = !textured ? PROG_COLOUR : st->tex_env_mode == GL_REPLACE ? PROG_REPLACE : PROG_MODULATE;
    if (st->es_program != p) {
        es.UseProgram(st->programs[p]);
        st->es_program = p;
        stats.state_calls++;
    }
    const float *mvp = MVP();
    if (st->prog_mvp_serial[p] != st->mvp_serial) {
        es.Uniform4fv(st->loc_mvp[p], 4, mvp);
        st->prog_mvp_serial[p] = st->mvp_serial;
        stats.state_calls++;
    }
    if (memcmp(st->prog_colour[p], st->colour, sizeof st->colour) != 0) {
        es.Uniform4f(st->loc_colour[p], st->colour[0], st->colour[1], st->colour[2], st->colour[3]);
        memcpy(st->prog_colour[p], st->colour, sizeof st->colour);
        stats.state_calls++;
    }
    if (memcmp(st->prog_texcoord[p], st->texcoord, sizeof st->texcoord) != 0) {
        es.Uniform2f(st->loc_texcoord[p], st->texcoord[0], st->texcoord[1]);
        memcpy(st->prog_texcoord[p], st->texcoord, sizeof st->texcoord);
        stats.state_calls++;
    }
    // A primitive given no colour of its own takes the current colour
    // unchanged in the fragment shader, as Mesa's does: no interpolation.
    if (st->prog_constant[p] != (int)st->draw_constant) {
        es.Uniform1i(st->loc_constant[p], st->draw_constant);
        st->prog_constant[p] = st->draw_constant;
        stats.state_calls++;
    }
    if (st->draw_constant) {
        float c[4];
        for (int k = 0; k < 4; k++)
            c[k] = st->colour[k] < 0.0f ? 0.0f : st->colour[k] > 1.0f ? 1.0f : st->colour[k];
        if (memcmp(st->prog_current[p], c, sizeof c) != 0) {
            es.Uniform4f(st->loc_current[p], c[0], c[1], c[2], c[3]);
            memcpy(st->prog_current[p], c, sizeof c);
            stats.state_calls++;
        }
    }
    if (textured) {
        if (st->es_texture != st->image) {
            es.BindTexture(GL_TEXTURE_2D, st->image);
            st->es_texture = st->image;
            stats.state_calls++;
        }
        // ES has no GL_CLAMP; with nearest filtering clamping to the edge
        // samples the same texels.
        const GLint ws = st->wrap_s == GL_CLAMP ? GL_CLAMP_TO_EDGE : (GLint)st->wrap_s;
        const GLint wt = st->wrap_t == GL_CLAMP ? GL_CLAMP_TO_EDGE : (GLint)st->wrap_t;
        const GLint values[4] = {(GLint)st->min_filter, (GLint)st->mag_filter, ws, wt};
        const GLenum names[4] = {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER, GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T};
        GLint *have[4] = {&st->es_min, &st->es_mag, &st->es_wrap_s, &st->es_wrap_t};
        for (int k = 0; k < 4; k++)
            if (*have[k] != values[k]) {
                es.SamplerParameteri(st->sampler, names[k], values[k]);
                *have[k] = values[k];
                stats.state_calls++;
            }
    }
}

static void BindVertexArray(GLuint vao)
{
    if (st->es_vao != vao) {
        es.BindVertexArray(vao);
        st->es_vao = vao;
        stats.state_calls++;
    }
}

static void SetupAttributes(void)
{
    const GLsizei stride = sizeof(gl1es_vertex_t);
    es.EnableVertexAttribArray(ATTR_POSITION);
    es.EnableVertexAttribArray(ATTR_COLOUR);
    es.EnableVertexAttribArray(ATTR_TEXCOORD);
    es.EnableVertexAttribArray(ATTR_INHERIT);
    es.VertexAttribPointer(ATTR_POSITION, 3, GL_FLOAT, GL_FALSE, stride, (const void *)offsetof(gl1es_vertex_t, x));
    es.VertexAttribPointer(ATTR_COLOUR, 4, GL_FLOAT, GL_FALSE, stride, (const void *)offsetof(gl1es_vertex_t, r));
    es.VertexAttribPointer(ATTR_TEXCOORD, 2, GL_FLOAT, GL_FALSE, stride, (const void *)offsetof(gl1es_vertex_t, s));
    es.VertexAttribPointer(ATTR_INHERIT, 2, GL_FLOAT, GL_FALSE, stride,
                           (const void *)offsetof(gl1es_vertex_t, inherit_colour));
}

// ---------------------------------------------------------------------------
// Primitives to triangles

// Appends the triangles of one primitive as indices from base. Quads take the
// split the fixed-function draw takes: (0,1,2) (0,2,3) for an array draw that
// the clipper leaves alone, (0,1,3) (1,2,3) otherwise.
static void Triangulate(GLenum mode, size_t count, uint32_t base, bool array_split, std::vector<uint32_t> *out)
{
    switch (mode) {
    case GL_TRIANGLES:
        for (size_t i = 0; i + 2 < count; i += 3)
            for (int k = 0; k < 3; k++)
                out->push_back(base + (uint32_t)(i + k));
        break;
    case GL_TRIANGLE_FAN:
        for (size_t i = 2; i < count; i++) {
            out->push_back(base);
            out->push_back(base + (uint32_t)(i - 1));
            out->push_back(base + (uint32_t)i);
        }
        break;
    case GL_QUADS:
        for (size_t i = 0; i + 3 < count; i += 4) {
            const uint32_t q = base + (uint32_t)i;
            const uint32_t t[6] = {q, q + 1, q + 3, q + 1, q + 2, q + 3};
            const uint32_t a[6] = {q, q + 1, q + 2, q, q + 2, q + 3};
            out->insert(out->end(), array_split ? a : t, (array_split ? a : t) + 6);
        }
        break;
    case GL_QUAD_STRIP:
        for (size_t i = 3; i < count; i += 2) {
            const uint32_t q = base + (uint32_t)i;
            const uint32_t t[6] = {q - 3, q - 2, q, q - 1, q - 3, q};
            out->insert(out->end(), t, t + 6);
        }
        break;
    default:
        break;
    }
}

// Draws the immediate-mode vertices gathered so far.
static void FlushImmediate(void)
{
    if (st->imm_prims.empty()) {
        st->imm.clear();
        st->imm_varying = false;
        return;
    }
    const float *m = MVP();
    bool uploaded = false;
    // Primitives with the current colour come first in a group (Mesa's
    // vertices carry colours from the first glColor on): two draws at most.
    for (int pass = 0; pass < 2; pass++) {
        const bool constant = pass == 0;
        std::vector<uint32_t> indices;
        for (const gl1es_prim_t &p : st->imm_prims) {
            if (p.constant != constant)
                continue;
            if (p.mode != GL_QUADS) {
                Triangulate(p.mode, p.count, (uint32_t)p.first, false, &indices);
                continue;
            }
            // The clipper's decision is made per segment of the draw.
            for (size_t done = 0; done < p.count; done += CLIP_CHUNK) {
                const size_t n = std::min<size_t>(CLIP_CHUNK, p.count - done);
                bool outside = false;
                for (size_t v = 0; v < n && !outside; v++)
                    outside = Outside(m, st->imm[p.first + done + v]);
                Triangulate(GL_QUADS, n, (uint32_t)(p.first + done), !outside, &indices);
            }
        }
        if (indices.empty())
            continue;
        st->draw_constant = constant;
        ApplyDrawState();
        BindVertexArray(st->stream_vao);
        const size_t vbytes = st->imm.size() * sizeof(gl1es_vertex_t), ibytes = indices.size() * sizeof(uint32_t);
        if (!uploaded) {
            es.BindBuffer(GL_ARRAY_BUFFER, st->stream_vbo);
            es.BufferData(GL_ARRAY_BUFFER, (GLsizeiptr)vbytes, st->imm.data(), GL_STREAM_DRAW);
            uploaded = true;
        }
        es.BufferData(GL_ELEMENT_ARRAY_BUFFER, (GLsizeiptr)ibytes, indices.data(), GL_STREAM_DRAW);
        stats.buffer_bytes += vbytes + ibytes;
        stats.buffer_bytes -= st->stream_vbo_bytes + st->stream_ibo_bytes;
        st->stream_vbo_bytes = vbytes;
        st->stream_ibo_bytes = ibytes;
        es.DrawElements(GL_TRIANGLES, (GLsizei)indices.size(), GL_UNSIGNED_INT, nullptr);
        stats.draws++;
    }
    st->imm.clear();
    st->imm_prims.clear();
    st->imm_varying = false;
}

// Every call that changes state or draws otherwise first draws what immediate
// mode has gathered, as the GL does.
static bool Outside_Begin(void)
{
    if (!st)
        return false;
    if (st->inside) {
        SetError(GL_INVALID_OPERATION);
        return false;
    }
    if (!st->compiling)
        FlushImmediate();
    return true;
}

// Records a command while a list is compiled; true when it was recorded.
static bool Record(int op, unsigned u0 = 0, unsigned u1 = 0, unsigned u2 = 0, unsigned u3 = 0, float f0 = 0,
                   float f1 = 0, float f2 = 0, float f3 = 0, float f4 = 0, float f5 = 0)
{
    if (!st->compiling)
        return false;
    st->compile_draw_open = false;
    gl1es_cmd_t c;
    c.op = op;
    c.u[0] = u0; c.u[1] = u1; c.u[2] = u2; c.u[3] = u3;
    c.f[0] = f0; c.f[1] = f1; c.f[2] = f2; c.f[3] = f3; c.f[4] = f4; c.f[5] = f5;
    c.matrix = 0;
    try {
        st->compiling->cmds.push_back(c);
    } catch (const std::bad_alloc &) {
        SetError(GL_OUT_OF_MEMORY);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Textures

static size_t RowBytes(GLsizei w, int components, GLint alignment)
{
    const size_t row = (size_t)w * components;
    return (row + alignment - 1) / alignment * alignment;
}

// Makes an ES texture of an RGB picture read with the unpack alignment.
static GLuint MakeTexture(GLsizei w, GLsizei h, const void *pixels, GLuint reuse)
{
    GLuint tex = reuse;
    if (!tex)
        es.GenTextures(1, &tex);
    es.BindTexture(GL_TEXTURE_2D, tex);
    st->es_texture = tex;
    es.PixelStorei(GL_UNPACK_ALIGNMENT, st->unpack_alignment);
    es.TexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    return tex;
}

static bool TexImageValid(GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border,
                          GLenum format, GLenum type)
{
    if (target != GL_TEXTURE_2D) {
        SetError(GL_INVALID_ENUM);
        return false;
    }
    if (level != 0 || border != 0 || w < 0 || h < 0 || w > 8192 || h > 8192) {
        SetError(GL_INVALID_VALUE);
        return false;
    }
    if ((internal != 3 && internal != GL_RGB && internal != GL_RGB8) || format != GL_RGB || type != GL_UNSIGNED_BYTE) {
        stats.unsupported++;
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Display lists

static void FreeList(gl1es_list_t *list)
{
    if (!list)
        return;
    if (!list->textures.empty())
        es.DeleteTextures((GLsizei)list->textures.size(), list->textures.data());
    for (GLuint t : list->textures)
        if (st->image == t)
            st->image = 0;
    if (st->es_texture && !list->textures.empty())
        st->es_texture = 0;
    stats.textures -= (unsigned)list->textures.size();
    stats.texture_bytes -= list->texture_bytes;
    if (list->vao) {
        if (st->es_vao == list->vao)
            BindVertexArray(0);
        es.DeleteVertexArrays(1, &list->vao);
    }
    if (list->vbo)
        es.DeleteBuffers(1, &list->vbo);
    if (list->ibo)
        es.DeleteBuffers(1, &list->ibo);
    stats.buffer_bytes -= list->buffer_bytes;
}


// The colour and texture coordinate a list has set become current when it
// has run; a list it calls may rely on them too.
static void RecordCurrent(void)
{
    if (!st->compile_pending)
        return;
    st->compile_pending = false;
    if (st->compile_colour_known)
        Record(OP_COLOUR, 0, 0, 0, 0, st->compile_colour[0], st->compile_colour[1], st->compile_colour[2],
               st->compile_colour[3]);
    if (st->compile_texcoord_known)
        Record(OP_TEXCOORD, 0, 0, 0, 0, st->compile_texcoord[0], st->compile_texcoord[1]);
}

static gl1es_draw_t *OpenCompileDraw(bool loopback, bool constant)
{
    gl1es_list_t *list = st->compiling;
    if (st->compile_draw_open && !list->cmds.empty() && list->cmds.back().op == OP_DRAW) {
        gl1es_draw_t &d = list->draws[list->cmds.back().u[0]];
        if (d.loopback == loopback && d.constant == constant)
            return &d;
    }
    // A primitive with the current colour needs the list's colour set so far.
    if (constant)
        RecordCurrent();
    gl1es_draw_t d;
    d.constant = constant;
    d.first_index = (unsigned)st->compile_indices.size();
    d.index_count = 0;
    d.loopback = loopback;
    d.first_vertex = list->vertices.size();
    d.vertex_count = 0;
    list->draws.push_back(d);
    Record(OP_DRAW, (unsigned)(list->draws.size() - 1));
    st->compile_draw_open = true;
    return &list->draws.back();
}

static void EndListPrimitive(void)
{
    const size_t first = st->begin_first, count = st->compile_vertices.size() - first;
    // A primitive whose first vertices use the caller's colour (or texture
    // coordinate) and whose later ones set their own: Mesa replays the list
    // through immediate mode from there on, and so does the layer.
    if (count > 0) {
        const gl1es_vertex_t &a = st->compile_vertices[first], &b = st->compile_vertices[first + count - 1];
        if (a.inherit_colour != b.inherit_colour || a.inherit_texcoord != b.inherit_texcoord)
            st->compile_loopback = true;
    }
    gl1es_draw_t *d = OpenCompileDraw(st->compile_loopback, !st->prim_colour);
    if (d->loopback) {
        gl1es_list_t *list = st->compiling;
        list->vertices.insert(list->vertices.end(), st->compile_vertices.begin() + first, st->compile_vertices.end());
        d->vertex_count += count;
        d->prim_modes.push_back(st->begin_mode);
        d->prim_counts.push_back((uint32_t)count);
        st->compile_vertices.resize(first);
    } else {
        const size_t before = st->compile_indices.size();
        Triangulate(st->begin_mode, count, (uint32_t)first, false, &st->compile_indices);
        d->index_count += (unsigned)(st->compile_indices.size() - before);
    }
}

static void UploadList(gl1es_list_t *list)
{
    if (st->compile_indices.empty())
        return;
    es.GenVertexArrays(1, &list->vao);
    BindVertexArray(list->vao);
    es.GenBuffers(1, &list->vbo);
    es.GenBuffers(1, &list->ibo);
    es.BindBuffer(GL_ARRAY_BUFFER, list->vbo);
    const size_t vbytes = st->compile_vertices.size() * sizeof(gl1es_vertex_t);
    const size_t ibytes = st->compile_indices.size() * sizeof(uint32_t);
    es.BufferData(GL_ARRAY_BUFFER, (GLsizeiptr)vbytes, st->compile_vertices.data(), GL_STATIC_DRAW);
    es.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, list->ibo);
    es.BufferData(GL_ELEMENT_ARRAY_BUFFER, (GLsizeiptr)ibytes, st->compile_indices.data(), GL_STATIC_DRAW);
    SetupAttributes();
    list->buffer_bytes = vbytes + ibytes;
    stats.buffer_bytes += list->buffer_bytes;
}

static void Execute(const gl1es_list_t *list);

static void CallList(unsigned name)
{
    auto it = st->lists.find(name);
    if (it == st->lists.end()) {
        stats.unknown_list_calls++;
        return;
    }
    if (st->nesting >= MAX_NESTING)
        return;
    st->nesting++;
    Execute(it->second.get());
    st->nesting--;
}

static void ReplayLoopback(const gl1es_list_t *list, const gl1es_draw_t &d)
{
    size_t v = d.first_vertex;
    for (size_t p = 0; p < d.prim_modes.size(); p++) {
        const GLenum mode = d.prim_modes[p];
        const size_t count = d.prim_counts[p];
        // Consecutive quads and triangles join the previous draw, as Mesa merges them.
        const bool constant = d.constant && !st->imm_varying;
        st->imm_varying = !constant;
        if (!st->imm_prims.empty() && st->imm_prims.back().mode == mode && st->imm_prims.back().constant == constant &&
            (mode == GL_QUADS || mode == GL_TRIANGLES))
            st->imm_prims.back().count += count;
        else
            st->imm_prims.push_back({mode, st->imm.size(), count, constant});
        for (size_t k = 0; k < count; k++, v++) {
            gl1es_vertex_t x = list->vertices[v];
            if (x.inherit_colour > 0.5f)
                memcpy(&x.r, st->colour, sizeof st->colour);
            else
                memcpy(st->colour, &x.r, sizeof st->colour);
            if (x.inherit_texcoord > 0.5f)
                memcpy(&x.s, st->texcoord, sizeof st->texcoord);
            else
                memcpy(st->texcoord, &x.s, sizeof st->texcoord);
            x.inherit_colour = x.inherit_texcoord = 0;
            st->imm.push_back(x);
        }
    }
}

static void SetEnable(GLenum cap, bool on);
static void TexParameter(GLenum name, GLenum value);

static void Execute(const gl1es_list_t *list)
{
    for (const gl1es_cmd_t &c : list->cmds) {
        if (c.op != OP_DRAW && c.op != OP_COLOUR && c.op != OP_TEXCOORD)
            FlushImmediate();
        switch (c.op) {
        case OP_DRAW: {
            const gl1es_draw_t &d = list->draws[c.u[0]];
            if (d.loopback) {
                ReplayLoopback(list, d);
                break;
            }
            FlushImmediate();
            if (!d.index_count)
                break;
            st->draw_constant = d.constant;
            ApplyDrawState();
            BindVertexArray(list->vao);
            es.DrawElements(GL_TRIANGLES, (GLsizei)d.index_count, GL_UNSIGNED_INT,
                            (const void *)(uintptr_t)(d.first_index * sizeof(uint32_t)));
            stats.draws++;
            break;
        }
        case OP_CALL: CallList(c.u[0]); break;
        case OP_COLOUR: memcpy(st->colour, c.f, sizeof st->colour); break;
        case OP_TEXCOORD: memcpy(st->texcoord, c.f, sizeof st->texcoord); break;
        case OP_MATRIX_MODE: st->matrix_mode = c.u[0]; break;
        case OP_LOAD_IDENTITY: memcpy(Top(), gl1es_identity, sizeof gl1es_identity); Changed(); break;
        case OP_LOAD_MATRIX: memcpy(Top(), &list->matrices[c.matrix], sizeof(float) * 16); Changed(); break;
        case OP_MULT_MATRIX: MultTop(&list->matrices[c.matrix]); break;
        case OP_PUSH: DoPush(); break;
        case OP_POP: DoPop(); break;
        case OP_TRANSLATE: DoTranslate(c.f[0], c.f[1], c.f[2]); break;
        case OP_ROTATE: DoRotate(c.f[0], c.f[1], c.f[2], c.f[3]); break;
        case OP_SCALE: DoScale(c.f[0], c.f[1], c.f[2]); break;
        case OP_ORTHO: DoOrtho(c.f[0], c.f[1], c.f[2], c.f[3], c.f[4], c.f[5]); break;
        case OP_ENABLE: SetEnable(c.u[0], true); break;
        case OP_DISABLE: SetEnable(c.u[0], false); break;
        case OP_BLEND_FUNC: st->blend_src = c.u[0]; st->blend_dst = c.u[1]; break;
        case OP_FRONT_FACE: st->front_face = c.u[0]; break;
        case OP_CULL_FACE: st->cull_mode = c.u[0]; break;
        case OP_VIEWPORT:
            for (int k = 0; k < 4; k++)
                st->viewport[k] = (GLint)c.u[k];
            break;
        case OP_SCISSOR:
            for (int k = 0; k < 4; k++)
                st->scissor[k] = (GLint)c.u[k];
            break;
        case OP_CLEAR_COLOUR: memcpy(st->clear_colour, c.f, sizeof st->clear_colour); break;
        case OP_CLEAR: glClear(c.u[0]); break;
        case OP_TEX_IMAGE: st->image = c.u[0]; break;
        case OP_TEX_PARAMETER: TexParameter(c.u[0], c.u[1]); break;
        case OP_TEX_ENV: st->tex_env_mode = c.u[0]; break;
        default: break;
        }
    }
}

// ---------------------------------------------------------------------------
// Init and shutdown

static void ResetState(void)
{
    for (int k = 0; k < 16; k++) {
        st->modelview[0][k] = gl1es_identity[k];
        st->projection[0][k] = gl1es_identity[k];
    }
    st->matrix_mode = GL_MODELVIEW;
    st->matrix_serial = 1;
    st->mvp_serial = 0;
    const float white[4] = {1, 1, 1, 1};
    memcpy(st->colour, white, sizeof white);
    st->blend_src = GL_ONE;
    st->blend_dst = GL_ZERO;
    st->front_face = GL_CCW;
    st->cull_mode = GL_BACK;
    st->tex_env_mode = GL_MODULATE;
    st->min_filter = GL_NEAREST_MIPMAP_LINEAR;
    st->mag_filter = GL_LINEAR;
    st->wrap_s = st->wrap_t = GL_REPEAT;
    st->unpack_alignment = st->pack_alignment = 4;
    st->error = GL_NO_ERROR;
    // What ES starts with; the rest is set before the first draw.
    st->es_program = -1;
    st->es_blend_src = GL_ONE;
    st->es_blend_dst = GL_ZERO;
    st->es_front = GL_CCW;
    st->es_cull_mode = GL_BACK;
    st->es_min = GL_NEAREST_MIPMAP_LINEAR;
    st->es_mag = GL_LINEAR;
    st->es_wrap_s = st->es_wrap_t = GL_REPEAT;
    st->es_viewport[2] = st->es_viewport[3] = -1;
    st->es_scissor_box[2] = st->es_scissor_box[3] = -1;
}

bool GL1ES_Init(void *(*getproc)(const char *name), const char **missing)
{
    GL1ES_Shutdown();
#define GL1ES_FILL(ret, name, params)                                        \
    es.name = reinterpret_cast<ret(*) params>(getproc("gl" #name));           \
    if (!es.name) {                                                           \
        if (missing)                                                          \
            *missing = "gl" #name;                                            \
        ClearTable();                                                         \
        return false;                                                         \
    }
    GL1ES_ES3_FUNCTIONS(GL1ES_FILL)
#undef GL1ES_FILL
    st = new gl1es_state_t();
    memset(&stats, 0, sizeof stats);
    ResetState();
    if (!BuildPrograms()) {
        if (missing)
            *missing = gl1es_log.c_str();
        gl1es_ready = true;
        GL1ES_Shutdown();
        return false;
    }
    es.GenSamplers(1, &st->sampler);
    es.BindSampler(0, st->sampler);
    es.ActiveTexture(GL_TEXTURE0);
    es.GenVertexArrays(1, &st->stream_vao);
    es.BindVertexArray(st->stream_vao);
    st->es_vao = st->stream_vao;
    es.GenBuffers(1, &st->stream_vbo);
    es.GenBuffers(1, &st->stream_ibo);
    es.BindBuffer(GL_ARRAY_BUFFER, st->stream_vbo);
    es.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, st->stream_ibo);
    SetupAttributes();
    // The viewport starts as the surface, as the GL's does.
    GLint vp[4] = {0, 0, 0, 0};
    (void)vp;
    const GLubyte *name = es.GetString(GL_RENDERER);
    st->renderer = std::string("OpenGL ES 3 layer on ") + (name ? (const char *)name : "unknown");
    gl1es_ready = true;
    return true;
}

void GL1ES_Shutdown(void)
{
    if (st && gl1es_ready) {
        for (auto &l : st->lists)
            FreeList(l.second.get());
        st->lists.clear();
        if (st->compiling) {
            FreeList(st->compiling);
            delete st->compiling;
            st->compiling = nullptr;
        }
        if (st->upload_texture)
            es.DeleteTextures(1, &st->upload_texture);
        for (GLuint p : st->programs)
            if (p)
                es.DeleteProgram(p);
        if (st->sampler)
            es.DeleteSamplers(1, &st->sampler);
        if (st->stream_vao)
            es.DeleteVertexArrays(1, &st->stream_vao);
        GLuint buffers[2] = {st->stream_vbo, st->stream_ibo};
        if (buffers[0])
            es.DeleteBuffers(2, buffers);
    }
    delete st;
    st = nullptr;
    gl1es_ready = false;
    ClearTable();
}

void GL1ES_GetStats(gl1es_stats_t *out)
{
    *out = stats;
    out->lists = st ? (unsigned)st->lists.size() : 0;
}

// ---------------------------------------------------------------------------
// The GL 1.x entry points

static void SetEnable(GLenum cap, bool on)
{
    switch (cap) {
    case GL_BLEND: st->blend = on; break;
    case GL_DEPTH_TEST: st->depth_test = on; break;
    case GL_CULL_FACE: st->cull_face = on; break;
    case GL_TEXTURE_2D: st->texture_2d = on; break;
    case GL_SCISSOR_TEST: st->scissor_test = on; break;
    case GL_LIGHTING:
        if (on)
            stats.unsupported++;
        break;
    default: SetError(GL_INVALID_ENUM); break;
    }
}

static void TexParameter(GLenum name, GLenum value)
{
    switch (name) {
    case GL_TEXTURE_MIN_FILTER: st->min_filter = value; break;
    case GL_TEXTURE_MAG_FILTER: st->mag_filter = value; break;
    case GL_TEXTURE_WRAP_S: st->wrap_s = value; break;
    case GL_TEXTURE_WRAP_T: st->wrap_t = value; break;
    default: SetError(GL_INVALID_ENUM); break;
    }
}

extern "C" {

void glBegin(GLenum mode)
{
    if (!st)
        return;
    if (st->inside) {
        SetError(GL_INVALID_OPERATION);
        return;
    }
    if (mode != GL_TRIANGLES && mode != GL_TRIANGLE_FAN && mode != GL_QUADS && mode != GL_QUAD_STRIP) {
        if (mode <= GL_POLYGON)
            stats.unsupported++;
        else
            SetError(GL_INVALID_ENUM);
        return;
    }
    st->inside = true;
    st->begin_mode = mode;
    st->prim_colour = false;
    if (st->compiling) {
        st->begin_first = st->compile_vertices.size();
        return;
    }
    st->begin_first = st->imm.size();
}

void glEnd(void)
{
    if (!st)
        return;
    if (!st->inside) {
        SetError(GL_INVALID_OPERATION);
        return;
    }
    st->inside = false;
    try {
        if (st->compiling) {
            EndListPrimitive();
            return;
        }
        const size_t count = st->imm.size() - st->begin_first;
        const bool constant = !st->prim_colour && !st->imm_varying;
        st->imm_varying = !constant;
        // Consecutive quads and triangles join one draw, as Mesa merges them.
        gl1es_prim_t *last = st->imm_prims.empty() ? nullptr : &st->imm_prims.back();
        if (count && last && last->mode == st->begin_mode && last->constant == constant &&
            last->first + last->count == st->begin_first && (last->mode == GL_QUADS || last->mode == GL_TRIANGLES))
            last->count += count;
        else if (count)
            st->imm_prims.push_back({st->begin_mode, st->begin_first, count, constant});
    } catch (const std::bad_alloc &) {
        SetError(GL_OUT_OF_MEMORY);
    }
}

static void Vertex(float x, float y, float z)
{
    if (!st)
        return;
    if (!st->inside)
        return; // outside begin/end a vertex has no defined effect
    gl1es_vertex_t v;
    v.x = x; v.y = y; v.z = z;
    memcpy(&v.r, st->compiling ? st->compile_colour : st->colour, sizeof st->colour);
    memcpy(&v.s, st->compiling ? st->compile_texcoord : st->texcoord, sizeof st->texcoord);
    v.inherit_colour = st->compiling && !st->compile_colour_known ? 1.0f : 0.0f;
    v.inherit_texcoord = st->compiling && !st->compile_texcoord_known ? 1.0f : 0.0f;
    try {
        (st->compiling ? st->compile_vertices : st->imm).push_back(v);
    } catch (const std::bad_alloc &) {
        SetError(GL_OUT_OF_MEMORY);
    }
}

void glVertex2f(GLfloat x, GLfloat y) { Vertex(x, y, 0.0f); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { Vertex(x, y, z); }
void glVertex3fv(const GLfloat *v) { Vertex(v[0], v[1], v[2]); }

void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a)
{
    if (!st)
        return;
    // Compiling does not run the command: the list keeps its own value,
    // handed on at its end (or before a call) as the GL's current colour.
    float *c = st->compiling ? st->compile_colour : st->colour;
    c[0] = r; c[1] = g; c[2] = b; c[3] = a;
    if (st->inside)
        st->prim_colour = true;
    if (st->compiling) {
        st->compile_colour_known = true;
        st->compile_pending = true;
        // Outside glBegin/glEnd the list records the change itself, and the
        // primitives after it draw with it as their current colour.
        if (!st->inside)
            RecordCurrent();
    }
}

void glColor4fv(const GLfloat *v) { glColor4f(v[0], v[1], v[2], v[3]); }

void glTexCoord2f(GLfloat s, GLfloat t)
{
    if (!st)
        return;
    float *c = st->compiling ? st->compile_texcoord : st->texcoord;
    c[0] = s; c[1] = t;
    if (st->compiling) {
        st->compile_texcoord_known = true;
        st->compile_pending = true;
    }
}

void glNewList(GLuint list, GLenum mode)
{
    if (!Outside_Begin())
        return;
    if (list == 0) {
        SetError(GL_INVALID_VALUE);
        return;
    }
    if (mode != GL_COMPILE) {
        if (mode == GL_COMPILE_AND_EXECUTE)
            stats.unsupported++;
        else
            SetError(GL_INVALID_ENUM);
        return;
    }
    if (st->compiling) {
        SetError(GL_INVALID_OPERATION);
        return;
    }
    st->compiling = new (std::nothrow) gl1es_list_t();
    if (!st->compiling) {
        SetError(GL_OUT_OF_MEMORY);
        return;
    }
    st->compiling_name = list;
    st->compile_colour_known = st->compile_texcoord_known = st->compile_loopback = st->compile_pending = false;
    st->compile_vertices.clear();
    st->compile_indices.clear();
    st->compile_draw_open = false;
    // Recording keeps the current values; the list's own are kept apart.
}

void glEndList(void)
{
    if (!st)
        return;
    if (st->inside || !st->compiling) {
        SetError(GL_INVALID_OPERATION);
        return;
    }
    RecordCurrent();
    std::unique_ptr<gl1es_list_t> list(st->compiling);
    st->compiling = nullptr;
    UploadList(list.get());
    st->compile_vertices.clear();
    st->compile_vertices.shrink_to_fit();
    st->compile_indices.clear();
    st->compile_indices.shrink_to_fit();
    auto it = st->lists.find(st->compiling_name);
    if (it != st->lists.end()) {
        FreeList(it->second.get());
        it->second = std::move(list);
    } else {
        try {
            st->lists[st->compiling_name] = std::move(list);
        } catch (const std::bad_alloc &) {
            SetError(GL_OUT_OF_MEMORY);
        }
    }
}

void glCallList(GLuint list)
{
    if (!Outside_Begin())
        return;
    if (st->compiling) {
        RecordCurrent();
        Record(OP_CALL, list);
        // What the called list leaves is not known while compiling.
        st->compile_colour_known = st->compile_texcoord_known = false;
        return;
    }
    CallList(list);
}

void glMatrixMode(GLenum mode)
{
    if (!Outside_Begin())
        return;
    if (mode != GL_MODELVIEW && mode != GL_PROJECTION) {
        if (mode == GL_TEXTURE)
            stats.unsupported++;
        else
            SetError(GL_INVALID_ENUM);
        return;
    }
    if (!Record(OP_MATRIX_MODE, mode))
        st->matrix_mode = mode;
}

void glLoadIdentity(void)
{
    if (!Outside_Begin() || Record(OP_LOAD_IDENTITY))
        return;
    memcpy(Top(), gl1es_identity, sizeof gl1es_identity);
    Changed();
}

static void MatrixCommand(int op, const float *m)
{
    if (st->compiling) {
        try {
            const size_t at = st->compiling->matrices.size();
            st->compiling->matrices.insert(st->compiling->matrices.end(), m, m + 16);
            Record(op);
            st->compiling->cmds.back().matrix = at;
        } catch (const std::bad_alloc &) {
            SetError(GL_OUT_OF_MEMORY);
        }
        return;
    }
    if (op == OP_LOAD_MATRIX) {
        memcpy(Top(), m, sizeof(float) * 16);
        Changed();
    } else {
        MultTop(m);
    }
}

void glLoadMatrixf(const GLfloat *m)
{
    if (Outside_Begin() && m)
        MatrixCommand(OP_LOAD_MATRIX, m);
}

void glMultMatrixf(const GLfloat *m)
{
    if (Outside_Begin() && m)
        MatrixCommand(OP_MULT_MATRIX, m);
}

void glMultMatrixd(const GLdouble *m)
{
    float f[16];
    if (!m)
        return;
    for (int i = 0; i < 16; i++)
        f[i] = (float)m[i];
    glMultMatrixf(f);
}

void glPushMatrix(void)
{
    if (Outside_Begin() && !Record(OP_PUSH))
        DoPush();
}

void glPopMatrix(void)
{
    if (Outside_Begin() && !Record(OP_POP))
        DoPop();
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    if (Outside_Begin() && !Record(OP_TRANSLATE, 0, 0, 0, 0, x, y, z))
        DoTranslate(x, y, z);
}

void glTranslated(GLdouble x, GLdouble y, GLdouble z)
{
    glTranslatef((float)x, (float)y, (float)z);
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    if (Outside_Begin() && !Record(OP_ROTATE, 0, 0, 0, 0, angle, x, y, z))
        DoRotate(angle, x, y, z);
}

void glScalef(GLfloat x, GLfloat y, GLfloat z)
{
    if (Outside_Begin() && !Record(OP_SCALE, 0, 0, 0, 0, x, y, z))
        DoScale(x, y, z);
}

void glOrtho(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f)
{
    const float fl = (float)l, fr = (float)r, fb = (float)b, ft = (float)t, fn = (float)n, ff = (float)f;
    if (Outside_Begin() && !Record(OP_ORTHO, 0, 0, 0, 0, fl, fr, fb, ft, fn, ff))
        DoOrtho(fl, fr, fb, ft, fn, ff);
}


void glEnable(GLenum cap)
{
    if (Outside_Begin() && !Record(OP_ENABLE, cap))
        SetEnable(cap, true);
}

void glDisable(GLenum cap)
{
    if (Outside_Begin() && !Record(OP_DISABLE, cap))
        SetEnable(cap, false);
}

void glBlendFunc(GLenum src, GLenum dst)
{
    if (Outside_Begin() && !Record(OP_BLEND_FUNC, src, dst)) {
        st->blend_src = src;
        st->blend_dst = dst;
    }
}

void glFrontFace(GLenum mode)
{
    if (mode != GL_CW && mode != GL_CCW) {
        SetError(GL_INVALID_ENUM);
        return;
    }
    if (Outside_Begin() && !Record(OP_FRONT_FACE, mode))
        st->front_face = mode;
}

void glCullFace(GLenum mode)
{
    if (mode != GL_FRONT && mode != GL_BACK && mode != GL_FRONT_AND_BACK) {
        SetError(GL_INVALID_ENUM);
        return;
    }
    if (Outside_Begin() && !Record(OP_CULL_FACE, mode))
        st->cull_mode = mode;
}

void glPolygonMode(GLenum face, GLenum mode)
{
    (void)face;
    if (Outside_Begin() && mode != GL_FILL)
        stats.unsupported++;
}

void glShadeModel(GLenum mode)
{
    if (Outside_Begin() && mode != GL_SMOOTH)
        stats.unsupported++;
}

void glViewport(GLint x, GLint y, GLsizei w, GLsizei h)
{
    if (w < 0 || h < 0) {
        SetError(GL_INVALID_VALUE);
        return;
    }
    if (Outside_Begin() && !Record(OP_VIEWPORT, (unsigned)x, (unsigned)y, (unsigned)w, (unsigned)h)) {
        st->viewport[0] = x; st->viewport[1] = y; st->viewport[2] = w; st->viewport[3] = h;
    }
}

void glScissor(GLint x, GLint y, GLsizei w, GLsizei h)
{
    if (w < 0 || h < 0) {
        SetError(GL_INVALID_VALUE);
        return;
    }
    if (Outside_Begin() && !Record(OP_SCISSOR, (unsigned)x, (unsigned)y, (unsigned)w, (unsigned)h)) {
        st->scissor[0] = x; st->scissor[1] = y; st->scissor[2] = w; st->scissor[3] = h;
    }
}

void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a)
{
    if (Outside_Begin() && !Record(OP_CLEAR_COLOUR, 0, 0, 0, 0, r, g, b, a)) {
        st->clear_colour[0] = r; st->clear_colour[1] = g; st->clear_colour[2] = b; st->clear_colour[3] = a;
    }
}

void glClear(GLbitfield mask)
{
    if (!Outside_Begin() || Record(OP_CLEAR, mask))
        return;
    EsCap(GL_SCISSOR_TEST, &st->es_scissor, st->scissor_test);
    if (st->scissor_test && memcmp(st->es_scissor_box, st->scissor, sizeof st->scissor) != 0) {
        es.Scissor(st->scissor[0], st->scissor[1], st->scissor[2], st->scissor[3]);
        memcpy(st->es_scissor_box, st->scissor, sizeof st->scissor);
    }
    if (memcmp(st->es_clear, st->clear_colour, sizeof st->clear_colour) != 0) {
        es.ClearColor(st->clear_colour[0], st->clear_colour[1], st->clear_colour[2], st->clear_colour[3]);
        memcpy(st->es_clear, st->clear_colour, sizeof st->clear_colour);
        stats.state_calls++;
    }
    es.Clear(mask & (GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT));
}

void glTexImage2D(GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border, GLenum format,
                  GLenum type, const GLvoid *pixels)
{
    if (!Outside_Begin() || !TexImageValid(target, level, internal, w, h, border, format, type))
        return;
    const size_t bytes = (size_t)w * h * 3;
    if (st->compiling) {
        // The GL copies the pixels into the list: one texture made now,
        // bound each time the list runs.
        GLuint tex = MakeTexture(w, h, pixels, 0);
        try {
            st->compiling->textures.push_back(tex);
        } catch (const std::bad_alloc &) {
            es.DeleteTextures(1, &tex);
            SetError(GL_OUT_OF_MEMORY);
            return;
        }
        st->compiling->texture_bytes += bytes;
        stats.textures++;
        stats.texture_bytes += bytes;
        Record(OP_TEX_IMAGE, tex);
        return;
    }
    if (!st->upload_texture)
        stats.textures++;
    st->upload_texture = MakeTexture(w, h, pixels, st->upload_texture);
    stats.texture_bytes += bytes;
    stats.texture_bytes -= st->upload_bytes;
    st->upload_bytes = bytes;
    st->image = st->upload_texture;
}


void glTexParameterf(GLenum target, GLenum name, GLfloat value)
{
    if (target != GL_TEXTURE_2D) {
        SetError(GL_INVALID_ENUM);
        return;
    }
    if (Outside_Begin() && !Record(OP_TEX_PARAMETER, name, (GLenum)value))
        TexParameter(name, (GLenum)value);
}

void glTexEnvf(GLenum target, GLenum name, GLfloat value)
{
    const GLenum mode = (GLenum)value;
    if (target != GL_TEXTURE_ENV || name != GL_TEXTURE_ENV_MODE) {
        SetError(GL_INVALID_ENUM);
        return;
    }
    if (mode != GL_REPLACE && mode != GL_MODULATE) {
        stats.unsupported++;
        return;
    }
    if (Outside_Begin() && !Record(OP_TEX_ENV, mode))
        st->tex_env_mode = mode;
}

void glPixelStorei(GLenum name, GLint value)
{
    if (!Outside_Begin())
        return;
    if (value != 1 && value != 2 && value != 4 && value != 8) {
        SetError(GL_INVALID_VALUE);
        return;
    }
    if (name == GL_UNPACK_ALIGNMENT)
        st->unpack_alignment = value;
    else if (name == GL_PACK_ALIGNMENT)
        st->pack_alignment = value;
    else
        SetError(GL_INVALID_ENUM);
}

void glGetIntegerv(GLenum name, GLint *value)
{
    if (!Outside_Begin() || !value)
        return;
    switch (name) {
    case GL_UNPACK_ALIGNMENT: *value = st->unpack_alignment; break;
    case GL_PACK_ALIGNMENT: *value = st->pack_alignment; break;
    case GL_VIEWPORT: memcpy(value, st->viewport, sizeof st->viewport); break;
    case GL_MATRIX_MODE: *value = (GLint)st->matrix_mode; break;
    case GL_MODELVIEW_STACK_DEPTH: *value = st->mv_top + 1; break;
    case GL_PROJECTION_STACK_DEPTH: *value = st->proj_top + 1; break;
    case GL_MAX_MODELVIEW_STACK_DEPTH: *value = MV_DEPTH; break;
    case GL_MAX_PROJECTION_STACK_DEPTH: *value = PROJ_DEPTH; break;
    case GL_MAX_LIST_NESTING: *value = MAX_NESTING; break;
    default: SetError(GL_INVALID_ENUM); break;
    }
}

const GLubyte *glGetString(GLenum name)
{
    if (!st)
        return nullptr;
    switch (name) {
    case GL_RENDERER: return (const GLubyte *)st->renderer.c_str();
    case GL_VENDOR: return (const GLubyte *)"brass_tide";
    case GL_VERSION: return (const GLubyte *)"1.1 (over OpenGL ES 3.0)";
    case GL_EXTENSIONS: return (const GLubyte *)"";
    default: SetError(GL_INVALID_ENUM); return nullptr;
    }
}

GLenum glGetError(void)
{
    if (!st)
        return GL_NO_ERROR;
    const GLenum e = st->error;
    st->error = GL_NO_ERROR;
    return e;
}

void glFinish(void)
{
    if (Outside_Begin())
        es.Finish();
}

void glFlush(void)
{
    if (Outside_Begin())
        es.Finish();
}

void glReadPixels(GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, GLvoid *pixels)
{
    if (!Outside_Begin() || !pixels)
        return;
    if (w < 0 || h < 0) {
        SetError(GL_INVALID_VALUE);
        return;
    }
    if ((format != GL_RGB && format != GL_RGBA) || type != GL_UNSIGNED_BYTE) {
        SetError(GL_INVALID_ENUM);
        return;
    }
    // ES promises RGBA bytes; other layouts are made from them here.
    std::vector<uint8_t> rgba;
    try {
        rgba.resize((size_t)w * h * 4);
    } catch (const std::bad_alloc &) {
        SetError(GL_OUT_OF_MEMORY);
        return;
    }
    es.PixelStorei(GL_PACK_ALIGNMENT, 4);
    es.ReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    const int comps = format == GL_RGB ? 3 : 4;
    const size_t row = RowBytes(w, comps, st->pack_alignment);
    uint8_t *out = (uint8_t *)pixels;
    for (GLsizei r = 0; r < h; r++)
        for (GLsizei c = 0; c < w; c++)
            memcpy(out + r * row + (size_t)c * comps, &rgba[((size_t)r * w + c) * 4], comps);
}

// GLU, as the system's GLU computes it: the perspective in doubles handed
// over as floats, the camera in floats followed by a translation.
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble z_near, GLdouble z_far)
{
    const double radians = fovy / 2 * 3.14159265358979323846 / 180;
    const double delta = z_far - z_near, sine = sin(radians);
    if (delta == 0 || sine == 0 || aspect == 0)
        return;
    const double cotangent = cos(radians) / sine;
    double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    m[0] = cotangent / aspect;
    m[5] = cotangent;
    m[10] = -(z_far + z_near) / delta;
    m[11] = -1;
    m[14] = -2 * z_near * z_far / delta;
    m[15] = 0;
    glMultMatrixd(m);
}

static void Normalize(float v[3])
{
    const float r = (float)sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (r == 0.0f)
        return;
    v[0] /= r;
    v[1] /= r;
    v[2] /= r;
}

static void Cross(const float a[3], const float b[3], float out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

void gluLookAt(GLdouble eye_x, GLdouble eye_y, GLdouble eye_z, GLdouble centre_x, GLdouble centre_y,
               GLdouble centre_z, GLdouble up_x, GLdouble up_y, GLdouble up_z)
{
    float forward[3] = {(float)(centre_x - eye_x), (float)(centre_y - eye_y), (float)(centre_z - eye_z)};
    float up[3] = {(float)up_x, (float)up_y, (float)up_z}, side[3];
    Normalize(forward);
    Cross(forward, up, side);
    Normalize(side);
    Cross(side, forward, up);
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    m[0] = side[0]; m[4] = side[1]; m[8] = side[2];
    m[1] = up[0]; m[5] = up[1]; m[9] = up[2];
    m[2] = -forward[0]; m[6] = -forward[1]; m[10] = -forward[2];
    glMultMatrixf(m);
    glTranslated(-eye_x, -eye_y, -eye_z);
}

} // extern "C"
