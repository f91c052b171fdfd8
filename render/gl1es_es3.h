// The OpenGL ES 3.0 functions the GL 1.x layer draws with: one list that
// declares, fills and clears the layer's table. Internal to render/gl1es*.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

// X(return type, name without the gl prefix, parameter list)
#define GL1ES_ES3_FUNCTIONS(X) \
    X(void, ActiveTexture, (GLenum texture)) \
    X(void, AttachShader, (GLuint program, GLuint shader)) \
    X(void, BindAttribLocation, (GLuint program, GLuint index, const GLchar *name)) \
    X(void, BindBuffer, (GLenum target, GLuint buffer)) \
    X(void, BindSampler, (GLuint unit, GLuint sampler)) \
    X(void, BindTexture, (GLenum target, GLuint texture)) \
    X(void, BindVertexArray, (GLuint array)) \
    X(void, BlendFunc, (GLenum sfactor, GLenum dfactor)) \
    X(void, BufferData, (GLenum target, GLsizeiptr size, const void *data, GLenum usage)) \
    X(void, Clear, (GLbitfield mask)) \
    X(void, ClearColor, (GLfloat r, GLfloat g, GLfloat b, GLfloat a)) \
    X(void, CompileShader, (GLuint shader)) \
    X(GLuint, CreateProgram, (void)) \
    X(GLuint, CreateShader, (GLenum type)) \
    X(void, CullFace, (GLenum mode)) \
    X(void, DeleteBuffers, (GLsizei n, const GLuint *buffers)) \
    X(void, DeleteProgram, (GLuint program)) \
    X(void, DeleteSamplers, (GLsizei n, const GLuint *samplers)) \
    X(void, DeleteShader, (GLuint shader)) \
    X(void, DeleteTextures, (GLsizei n, const GLuint *textures)) \
    X(void, DeleteVertexArrays, (GLsizei n, const GLuint *arrays)) \
    X(void, Disable, (GLenum cap)) \
    X(void, DrawElements, (GLenum mode, GLsizei count, GLenum type, const void *indices)) \
    X(void, Enable, (GLenum cap)) \
    X(void, EnableVertexAttribArray, (GLuint index)) \
    X(void, Finish, (void)) \
    X(void, FrontFace, (GLenum mode)) \
    X(void, GenBuffers, (GLsizei n, GLuint *buffers)) \
    X(void, GenSamplers, (GLsizei n, GLuint *samplers)) \
    X(void, GenTextures, (GLsizei n, GLuint *textures)) \
    X(void, GenVertexArrays, (GLsizei n, GLuint *arrays)) \
    X(GLenum, GetError, (void)) \
    X(void, GetProgramInfoLog, (GLuint program, GLsizei size, GLsizei *length, GLchar *log)) \
    X(void, GetProgramiv, (GLuint program, GLenum name, GLint *value)) \
    X(void, GetShaderInfoLog, (GLuint shader, GLsizei size, GLsizei *length, GLchar *log)) \
    X(void, GetShaderiv, (GLuint shader, GLenum name, GLint *value)) \
    X(const GLubyte *, GetString, (GLenum name)) \
    X(GLint, GetUniformLocation, (GLuint program, const GLchar *name)) \
    X(void, LinkProgram, (GLuint program)) \
    X(void, PixelStorei, (GLenum name, GLint value)) \
    X(void, ReadPixels, (GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, void *pixels)) \
    X(void, SamplerParameteri, (GLuint sampler, GLenum name, GLint value)) \
    X(void, Scissor, (GLint x, GLint y, GLsizei w, GLsizei h)) \
    X(void, ShaderSource, (GLuint shader, GLsizei count, const GLchar *const *text, const GLint *length)) \
    X(void, TexImage2D, (GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border, GLenum format, GLenum type, const void *pixels)) \
    X(void, Uniform1i, (GLint location, GLint v)) \
    X(void, Uniform2f, (GLint location, GLfloat x, GLfloat y)) \
    X(void, Uniform4f, (GLint location, GLfloat x, GLfloat y, GLfloat z, GLfloat w)) \
    X(void, Uniform4fv, (GLint location, GLsizei count, const GLfloat *v)) \
    X(void, UseProgram, (GLuint program)) \
    X(void, VertexAttribPointer, (GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride, const void *offset)) \
    X(void, Viewport, (GLint x, GLint y, GLsizei w, GLsizei h))

#define GL1ES_DECLARE(ret, name, params) ret (*name) params;
struct gl1es_es3_t {
    GL1ES_ES3_FUNCTIONS(GL1ES_DECLARE)
};
#undef GL1ES_DECLARE
