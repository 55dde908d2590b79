#pragma once

#include <GL/glew.h>

#include <ostream>
#include <vector>

class Texture;

// One compiled shader stage. Only built when shaders are supported.
class ShaderObject {
public:
    explicit ShaderObject(GLenum type);
    virtual ~ShaderObject();
    ShaderObject(const ShaderObject&) = delete;
    ShaderObject& operator=(const ShaderObject&) = delete;

    bool compile(const char* source);
    void printLog(std::ostream& out) const;

    GLuint id;
    GLenum type;
};

// A named uniform value. The name is not copied: it must outlive the parameter (a literal).
class ShaderParam {
public:
    enum Type { NONE = 0, INT = 1, FLOAT = 2, TEXTURE = 3 };

    ShaderParam(const char* name, int value);
    ShaderParam(const char* name, float value);
    ShaderParam(const char* name, Texture* texture);
    virtual ~ShaderParam() = default;
    ShaderParam(const ShaderParam&) = default;
    ShaderParam& operator=(const ShaderParam&) = default;

    // Pushes the value to the uniform at `location` (-1: keep the stored one). Textures take the
    // next texture unit, whether or not the uniform exists, so later units do not shift; a
    // sampler the program does not use gets no texture, and without shader support the texture
    // is bound for fixed-function drawing instead.
    void apply(int location);
    // Unbinds the texture apply() bound, if it bound one; other types have nothing to release.
    void release();

    const char* name;
    int type;
    union {
        int i;
        float f;
        Texture* texture;
    } value;
    int location = -1;
    bool bound = false;  // apply() bound the texture and release() has not yet undone it
};

// A GLSL program with an ordered list of uniform values. Enabling installs the program and pushes
// the values, binding texture parameters to units 1, 2, ... in list order; without shader support
// the textures are bound for fixed-function drawing instead. Disabling undoes those bindings and
// leaves the unit active that was active at enable().
class Shader {
public:
    Shader();
    virtual ~Shader();
    Shader(const Shader&) = delete;
    Shader& operator=(const Shader&) = delete;

    virtual void enable();
    virtual void disable();

    bool attach(const ShaderObject& object);
    bool link();
    void printLog(std::ostream& out) const;

    void addParameter(const ShaderParam& p) { params.push_back(p); }
    void clearParameters() { params.clear(); }
    const std::vector<ShaderParam>& parameters() const { return params; }
    GLuint programName() const { return program; }

    // Initialises GLEW and reports the driver once per process; later calls do nothing.
    static void initialize();
    static bool isSupported() { return supported; }

    // Process-wide state, touched only on the thread that owns the OpenGL context.
    static bool initialized;
    static bool supported;
    static Shader* current;
    static int nextUnit;

protected:
    GLuint program = 0;
    std::vector<ShaderParam> params;

private:
    GLenum callerUnit = GL_TEXTURE0;  // the active unit at enable(), active again after disable()
};
