#include "Shader.h"

#include <cstdio>
#include <iostream>
#include <vector>

#include "Texture.h"

bool Shader::initialized = false;
bool Shader::supported = false;
Shader* Shader::current = nullptr;
int Shader::nextUnit = 1;

ShaderObject::ShaderObject(GLenum t) : id(glCreateShader(t)), type(t) {}

ShaderObject::~ShaderObject() { glDeleteShader(id); }

bool ShaderObject::compile(const char* source) {
    glShaderSource(id, 1, &source, nullptr);
    glCompileShader(id);
    GLint status = GL_FALSE;
    glGetShaderiv(id, GL_COMPILE_STATUS, &status);
    return status == GL_TRUE;
}

void ShaderObject::printLog(std::ostream& out) const {
    GLint length = 0;
    glGetShaderiv(id, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> log(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    glGetShaderInfoLog(id, length, nullptr, log.data());
    out << log.data() << '\n';
}

ShaderParam::ShaderParam(const char* n, int v) : name(n), type(INT) { value.i = v; }
ShaderParam::ShaderParam(const char* n, float v) : name(n), type(FLOAT) { value.f = v; }
ShaderParam::ShaderParam(const char* n, Texture* t) : name(n), type(TEXTURE) { value.texture = t; }

void ShaderParam::apply(int loc) {
    if (loc != -1) location = loc;
    switch (type) {
        case INT:
            if (location != -1) glUniform1i(location, value.i);
            break;
        case FLOAT:
            if (location != -1) glUniform1f(location, value.f);
            break;
        case TEXTURE:
            // A missing texture (a frame not built yet) leaves its unit empty but still uses it up.
            // A sampler the program does not use gets nothing: a plain bind there would leave
            // fixed-function texturing on for whatever is drawn after the program.
            if (location != -1) {
                if (value.texture) value.texture->bindToUnit(Shader::nextUnit);
                glUniform1i(location, Shader::nextUnit);
            } else if (!Shader::supported) {
                if (value.texture) value.texture->bind();
            }
            bound = value.texture && (location != -1 || !Shader::supported);
            ++Shader::nextUnit;
            break;
        default:
            break;
    }
}

void ShaderParam::release() {
    if (type != TEXTURE || !bound) return;
    bound = false;
    if (value.texture) value.texture->unbind();
}

void Shader::initialize() {
    if (initialized) return;
    const GLenum err = glewInit();
    initialized = true;
    if (err != GLEW_OK) {
        std::cerr << "Error initializing Shader:" << reinterpret_cast<const char*>(glewGetErrorString(err)) << std::endl;
        return;
    }
    auto text = [](GLenum what) {
        const GLubyte* s = glGetString(what);
        return s ? reinterpret_cast<const char*>(s) : "";
    };
    std::printf("OpenGL Vendor:   %s\n", text(GL_VENDOR));
    std::printf("OpenGL Renderer: %s\n", text(GL_RENDERER));
    std::printf("OpenGL Version:  %s\n\n", text(GL_VERSION));
    std::fflush(stdout);
    supported = glCreateProgram != nullptr;
}

Shader::Shader() {
    initialize();
    if (supported) program = glCreateProgram();
}

Shader::~Shader() {
    if (current == this) current = nullptr;  // never leave a dangling "enabled" shader behind
    if (supported) glDeleteProgram(program);
}

bool Shader::attach(const ShaderObject& object) {
    if (current == this || !supported) return false;
    glAttachShader(program, object.id);
    return true;
}

bool Shader::link() {
    if (!supported) return false;
    glLinkProgram(program);
    GLint status = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    return status == GL_TRUE;
}

void Shader::printLog(std::ostream& out) const {
    if (!supported) {
        out << "No shader support available.\n";
        return;
    }
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> log(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    glGetProgramInfoLog(program, length, nullptr, log.data());
    out << log.data() << '\n';
}

void Shader::enable() {
    if (current) current->disable();
    callerUnit = activeTextureUnit();
    if (supported) glUseProgram(program);
    nextUnit = 1;
    for (ShaderParam& p : params) p.apply(supported ? glGetUniformLocation(program, p.name) : -1);
    // Binding to units switched the active one; what is drawn through the program expects the caller's.
    if (glActiveTexture) glActiveTexture(callerUnit);
    current = this;
}

void Shader::disable() {
    if (supported) glUseProgram(0);
    nextUnit = 1;
    // Latest first, so that bindings stacked on one unit or one texture come undone in order.
    for (auto p = params.rbegin(); p != params.rend(); ++p) p->release();
    if (glActiveTexture) glActiveTexture(callerUnit);
    current = nullptr;
}
