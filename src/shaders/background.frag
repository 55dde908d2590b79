// Map background: the primary variable through its colormap, optionally overlaid by the secondary
// variable's texton pattern and contour lines (method 2) or shaded as relief (method 3), blended
// between the two neighbouring forecast steps by `mid`. GLSL 1.10: every int is converted with
// float() explicitly, which conforming compilers require.
//
// The program is built once per way of drawing: METHOD (0-3) and CONTOURS (0 or 1) are defined
// ahead of this text. Software renderers run both sides of a branch for every pixel, so a single
// program choosing by uniforms paid for the relief's and the contours' texture reads everywhere.
// With PREBLENDED 1 the two steps were already blended once for the frame: texAB holds the
// primary value in red and the secondary in green, one read where there were four.

uniform sampler2D texA;
uniform sampler2D texB;
uniform sampler2D texC;
uniform sampler2D texD;
uniform sampler1D colormap;
uniform sampler3D tex3D;
uniform sampler2D texAB;

uniform float alpha3D;
uniform float mid;
uniform float repeatX;
uniform float repeatY;
uniform float numContours;
uniform float contourWidth;
uniform float shadingScale;
uniform float curvature;

uniform int screenWidth;
uniform int screenHeight;
uniform int contourType;
uniform int showTexture;

uniform bool blackBottom;
// Drawn first over the cleared black window without blending: what blending onto black gives.
uniform bool overBlack;

float pval;
float dp;

float interpolate(float v1, float v2) {
    return (1.0 - mid) * v1 + mid * v2;
}

#if PREBLENDED
float primaryAt(vec2 st) {
    return texture2D(texAB, st).r;
}

float secondaryAt(vec2 st) {
    return texture2D(texAB, st).g;
}
#else
float primaryAt(vec2 st) {
    return interpolate(texture2D(texA, st).r, texture2D(texB, st).r);
}

float secondaryAt(vec2 st) {
    return interpolate(texture2D(texC, st).r, texture2D(texD, st).r);
}
#endif

vec4 blendTextures() {
    vec2 st = gl_TexCoord[0].st;
    return (1.0 - mid) * texture2D(texA, st) + mid * texture2D(texB, st);
}

vec4 blendValues() {
    return texture1D(colormap, primaryAt(gl_TexCoord[0].st));
}

// Change of the time-blended value per screen pixel, for a quad that spans the viewport: the
// value's slope along the texture axes, from the screen derivatives (no extra texture reads).
float twidth(float f) {
    vec2 st = gl_TexCoord[0].st;
    float ds = dFdx(st.s), dt = dFdy(st.t);
    float dx = abs(ds) > 1.0e-12 ? dFdx(f) / ds : 0.0;
    float dy = abs(dt) > 1.0e-12 ? dFdy(f) / dt : 0.0;
    return abs(dx) / float(screenWidth) + abs(dy) / float(screenHeight);
}

// Screen-fixed texton pattern whose slice follows the secondary value. The contour inputs (pval,
// dp) are only worked out with contours: their uniforms may never have been set otherwise.
vec4 blendValues2() {
    float s = secondaryAt(gl_TexCoord[0].st);
    vec3 coord = gl_FragCoord.xyz;
    coord.s = fract(coord.s / repeatX);
    coord.t = fract(coord.t / repeatY);
    coord.p = s;
#if CONTOURS
    pval = clamp(coord.p, blackBottom ? 0.0 : 0.95 / numContours, 0.999);
    dp = twidth(s);
#endif
    return float(showTexture) * texture3D(tex3D, coord);
}

float pseudoHeight(float val) {
    float x = fract(val / contourWidth);
    return val + contourWidth * curvature * x * (1.0 - x);
}

// Vertical component of the unit normal of the terraced relief: brightness under light from above.
float calcZofNormal() {
    const float dT = 0.001;
    vec2 st = gl_TexCoord[0].st;
    float v1 = pseudoHeight(secondaryAt(st));
    float v2 = pseudoHeight(secondaryAt(st + vec2(dT, 0.0)));
    float v3 = pseudoHeight(secondaryAt(st + vec2(0.0, dT)));
    float dhy = (v1 - v2) * shadingScale;
    float dhx = (v1 - v3) * shadingScale;
    float l = sqrt(dhx * dhx + dhy * dhy + dT * dT);
    return dT / l;
}

void main() {
#if METHOD == 0
    gl_FragColor = blendTextures();
#elif METHOD == 1
    gl_FragColor = blendValues();
#elif METHOD == 2
    vec4 texton = blendValues2();
    float g = 0.0;
#if CONTOURS
    float p = fract(pval * numContours);
    float bound = dp * numContours * contourWidth;
    float type = float(contourType);
    // Where the field is flat there is no line; smoothstep's edges would also meet there
    // (undefined, black on some drivers). Below 1e-6 the change is under the texture's
    // resolution.
    if (bound > 1.0e-6) g = 1.0 - smoothstep((-1.0 + 2.0 * type) * bound, (1.0 + type) * bound, p);
#endif
    float a = alpha3D * texton.a;
    vec4 base = (1.0 - a) * blendValues() + a * texton;
    gl_FragColor = base * (1.0 - g) + vec4(0.0, 0.0, 0.0, 0.5) * g;
#else
    float zn = calcZofNormal();
    gl_FragColor = blendValues() * vec4(zn, zn, zn, 1.0);
#endif
    if (overBlack) gl_FragColor = vec4(gl_FragColor.rgb * gl_FragColor.a, 1.0);
}
