#pragma once

// Keyboard and mouse dispatch. Keys step through time or quit; every other key, and every menu
// row, goes to onCommand, the one command dispatcher. Mouse events are offered to the on-screen
// pieces in a fixed order until one consumes them. All run on the GLUT thread.

struct AppState;

void onKeyboard(unsigned char key, int x, int y);
// Runs the command of a key code (low 8 bits; a letter's case does not matter) and returns its new
// state as a menu row shows it, or -1 for codes without a command.
int onCommand(int code);
void onMouse(int button, int state, int x, int y);
void onMotion(int x, int y);
void onPassiveMotion(int x, int y);
// Feeds a press into the corner-tap exit gesture and exits when it completes.
void checkExitGesture(int state, float nx, float ny);

// Next step of the exit gesture (top right, top left, top left) after an event at normalised
// (nx, ny); kExitGestureDone means the gesture is complete.
constexpr int kExitGestureDone = 3;
int nextExitGestureStep(int step, int state, float nx, float ny);

// The outline cycle: states, coast, none, states, ... Returns showStates + 2 * showCoast.
int cycleOutlines(AppState& state);

// One preset's settings. Variables are indices into the map scene's variables.
struct Preset {
    int mapKeyWidth;
    int lastKey;  // 1: two keys, 0: one
    int textureVariable;
    int colourVariable;
    bool contours;
    bool shaded;
    int key1Variable;
    int key0Variable;
    bool jetStream;
    bool textures;
    bool darkStreaks;
    bool numbers;
};
// Presets 1 ... 5; null for any other number.
const Preset* presetSettings(int n);
// Applies preset n (1 ... 5) to the application state and the components.
void applyPreset(int n);

// Moves the clock with a stepping key's time argument (-6, -3 back; -4, -1 forward), at most once
// per drawn frame, re-rolling the streaklets when it wraps. Returns whether it stepped.
bool stepClock(double timeArgument);
