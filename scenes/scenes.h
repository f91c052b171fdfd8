// Scenes: one module per scene. Each exports an init routine (load time, no GL
// calls, runs on the loader thread) and the setup and render routines that the
// timeline table names (main thread, GL context current).
#pragma once

// Loading screen and opening (entries 0 to 3).
enum { BOOT_FIRST_WAVE = 150 };
extern const unsigned char boot_first_wave[BOOT_FIRST_WAVE][2];   // (column, row) of the tiles that sink first
void Boot_Init(void);                   // main thread, before the loader: stops the clock, reads the picture
void Boot_SetupLoading(void);           // entry 0: GL state, picture list, the two marks
void Boot_RenderLoading(void);          // entry 0: picture and one mark per progress flag
void Boot_SetupOpening(void);           // entry 1: haze and column lists; starts the music
void Boot_RenderFirstWave(void);        // entry 1: first wave sinks
void Boot_RenderSecondWave(void);       // entry 2: second wave sinks
void Boot_SetupBars(void);              // entry 3: pixel-space projection
void Boot_RenderBars(void);             // entry 3: black bars close in

// Mascot echo and glow streams (entries 4 to 7).
enum { MASCOT_COPIES = 20, MASCOT_STREAM_ROWS = 100, MASCOT_STREAM_COLS = 10 };
struct zar_mesh_t;
extern zar_mesh_t *mascot_copies[MASCOT_COPIES];    // echo copies; copy 0 is the stretched mesh
extern float mascot_stream[MASCOT_STREAM_ROWS * MASCOT_STREAM_COLS][2];  // (x, y), row-major
// Glow state: the caller sets the point and the tint's colour, Mascot_DrawGlow
// the tint's alpha and the radius from the point's distance to the mascot.
extern float mascot_glow_point[3];
extern float mascot_glow_colour[4];
extern float mascot_glow_radius;
void Mascot_Init(void);                 // loader: logo, the twenty echo copies, the stream table
void Mascot_Setup(void);                // entry 4: GL state, lists 5 to 9
void Mascot_RenderFade(void);           // entries 4 and 6: 3D pass under the fading letterbox
void Mascot_RenderLogo(void);           // entry 5: 3D pass, letterbox and the logo
void Mascot_RenderWipe(void);           // entry 7: 3D pass, the gap lines wiped out
void Mascot_DrawGlow(void);             // one glowing point of a stream (reads the glow state)

// Eyes and lit-window drum (entries 8 to 15).
enum {
    DRUM_CORNER_STATIONS = 72, DRUM_CORNER_ANGLES = 10,     // cell corners along and around the drum
    DRUM_CENTRE_STATIONS = 71, DRUM_CENTRE_ANGLES = 9,      // cell centres
    DRUM_FRAMES = 81, DRUM_COLUMNS = 71, DRUM_ROWS = 9,     // window frames of 71 x 9 cells
    DRUM_TEXT_CELLS = 143,
};
// Base rings (station, angle, radius: pane, skin, glow edge) as the init built them.
extern float drum_corner_base[DRUM_CORNER_STATIONS][DRUM_CORNER_ANGLES][3][3];
extern float drum_centre_base[DRUM_CENTRE_STATIONS][DRUM_CENTRE_ANGLES][3][3];
// The centre rings as the last drum frame drew them, bulge included.
extern float drum_centre_scaled[DRUM_CENTRE_STATIONS][DRUM_CENTRE_ANGLES][3][3];
extern unsigned char drum_windows[DRUM_FRAMES][DRUM_COLUMNS][DRUM_ROWS];   // 1 = lit
extern const int drum_text_cells[DRUM_TEXT_CELLS][2];  // (column, row) that never light
void Drum_Init(void);                   // loader: pictures, rings, radius table, window frames
void Drum_Setup(void);                  // entry 8: GL state, lists 1 to 11 and 30 to 48
void Drum_RenderWipe(void);             // entries 8 and 15: the white band
void Drum_RenderLetterbox(void);        // entries 9 and 14: white bars open or close
void Drum_RenderEyes(void);             // entry 10: the blinking eyes
void Drum_RenderWindows(void);          // entries 11 and 13: the drum, frame from d0, veil n0
void Drum_RenderReveal(void);           // entry 12: the drum, frame from a

// Glowing pixel wall (entries 16 to 20).
enum { WALL_ROWS = 25, WALL_COLS = 32, WALL_WAVES = 10 };
// Palette index of every glyph, row 0 at the top of the wall.
extern const unsigned char wall_picture[WALL_ROWS][WALL_COLS];
void Wall_Init(void);                   // loader: nothing (the wall's data is constant)
void Wall_Setup(void);                  // entry 16: GL state, the glyph and sheet lists
void Wall_RenderFadeIn(void);           // entry 16
void Wall_RenderRowWave(void);          // entry 17
void Wall_RenderCrossWave(void);        // entry 18
void Wall_RenderDiagonalWave(void);     // entry 19
void Wall_RenderFadeOut(void);          // entry 20

// Ribbed gourd with sparkle rings (entries 21 to 27).
enum {
    GOURD_PROFILE = 12, GOURD_STEPS = 30, GOURD_COPIES = 3, GOURD_SETS = 10,
    GOURD_FANS = 256, GOURD_FAN_POINTS = 9, GOURD_SET_POINTS = GOURD_FANS * GOURD_FAN_POINTS
};
// Ribbon step i, copy (0: turned +12 degrees, 1: the profile, 2: -12 degrees),
// profile point j, as (x, y, z); filled by Gourd_Init.
extern float gourd_ribbons[GOURD_STEPS][GOURD_COPIES][GOURD_PROFILE][3];
// The ten sparkle sets in the order Gourd_Init fills them (lists 10 to 19).
extern float gourd_sparkles[GOURD_SETS][GOURD_SET_POINTS][3];
// One ring of 256 jittered discs from rand(): 64 steps of four discs, tilted,
// offset and turned about y by a growing angle.
void Gourd_MakeSparkles(const float templ[][3], float out[][3], int x_offset, int y_offset, int z_offset,
                        float angle_step, float tilt, int modulus1, int modulus2, int modulus3);
// Compiles a filled sparkle set as 256 closed fans, colours (centre, rim).
void Gourd_CompileSparkles(unsigned int list, const float points[][3], const float colours[2][4]);
void Gourd_Init(void);                  // loader: stem, ribbons, the ten sparkle sets
void Gourd_Setup(void);                 // entry 21: GL state, lists 2 to 5, 7, 8, 10 to 19
void Gourd_RenderCurtain(void);         // entries 21 and 27
void Gourd_RenderOpening(void);         // entries 22 and 26
void Gourd_RenderSpin(void);            // entries 23 to 25

// Spike shells and spotlight scroller (entry 28).
enum { SCROLLER_GLYPHS = 63, SCROLLER_GLYPH_BYTES = 40 };
// The unpacked 8 x 5 dot font for codes 33 to 95: flag of glyph g, row r
// (0 = bottom), column k at g*40 + r*8 + k. Built by Marquee_Init, read by
// Finale_Init, which the loader always runs later.
extern unsigned char scroller_font[SCROLLER_GLYPHS * SCROLLER_GLYPH_BYTES];
void Marquee_Init(void);                // loader: scroll text, font, spike shell
void Marquee_Setup(void);               // entry 28: GL state, lists 6 to 9, 24, 25
void Marquee_Render(void);              // entry 28
// The font as designed: five rows per glyph, top row first, bit k = column k.
extern const unsigned char marquee_font_packed[SCROLLER_GLYPHS][5];
// Where Marquee_DrawDot draws its next dot (the light hangs at (0, 100, 200)).
extern float marquee_dot[3];
void Marquee_DrawDot(void);             // one lit dot and its beams, or nothing when too far
void Marquee_DrawScroller(void);        // every dot of the scroll text, laid out from x = a

// Spiked sphere with corner captions (entries 29 to 34).
void Spikes_Init(void);                 // loader: captions, profile, ring and spike grid
void Spikes_Setup(void);                // entry 29: GL state, lists 2 to 8 and 10 to 3009
void Spikes_RenderFadeIn(void);         // entry 29
void Spikes_RenderTopRight(void);       // entry 30
void Spikes_RenderBottomRight(void);    // entry 31
void Spikes_RenderTopLeft(void);        // entry 32
void Spikes_RenderBottomLeft(void);     // entry 33
void Spikes_RenderFadeOut(void);        // entry 34
enum { SPIKES_RING = 10, SPIKES_AROUND = 20 };
// Per spike (ring column j, turn k; cell j + 10 k): how much its discs and
// its blades are dimmed, spelling letters on the sphere.
struct spikes_mask_t {
    float cell[SPIKES_RING * SPIKES_AROUND][2];
};
extern const spikes_mask_t spikes_masks[4];   // masks 1 to 4

// Pulsing column with light beams and drifting sprites (entry 35).
enum {
    COLUMN_ROWS = 30, COLUMN_POINTS = 16,           // inner and outer grid
    COLUMN_CELL_ROWS = 29, COLUMN_CELL_POINTS = 15, // one point per cell, in its middle
    COLUMN_PULSE = 83, COLUMN_LAYERS = 4, COLUMN_SPRITES = 32, COLUMN_OUTLINE = 10
};
// Points (x, y, z) of the column's four grids.
struct column_grids_t {
    float inner[COLUMN_ROWS][COLUMN_POINTS][3];
    float outer[COLUMN_ROWS][COLUMN_POINTS][3];
    float inner_cell[COLUMN_CELL_ROWS][COLUMN_CELL_POINTS][3];
    float outer_cell[COLUMN_CELL_ROWS][COLUMN_CELL_POINTS][3];
};
extern column_grids_t column_base;      // built at init, never changed
extern column_grids_t column_work;      // x and z rescaled every frame by the pulse
extern float column_pulse[COLUMN_PULSE];                            // girth factors, 0.1 to 1.5
extern float column_sprite_pos[COLUMN_LAYERS][COLUMN_SPRITES][2];   // (x, y) per layer, from rand()
void Column_Init(void);                 // loader: pictures, grids, pulse table, sprites
void Column_Setup(void);                // entry 35: GL state, lists 2, 3, 7 to 13, 20 to 23
void Column_Render(void);               // entry 35
void Column_Pulse(float d0);            // working grids for ramp value d0 (0 to 24)

// Closing pictures and end scroller (entries 36 to 41).
enum {
    FINALE_RELIEF = 21,                 // relief grid: columns and rows 0 to 20, 20 repeating 0
    FINALE_TEXT_CHARS = 110,            // characters of the end text
    FINALE_BITMAP_ROWS = 2640,          // 24 per character: 8 font columns of 3 rows each
    FINALE_BITMAP_COLS = 15,            // 5 font rows of 3 columns each
    FINALE_TUNNEL_SQUARES = 19
};
extern float finale_relief[FINALE_RELIEF][FINALE_RELIEF];                       // z at (column, row)
extern unsigned char finale_bitmap[FINALE_BITMAP_ROWS][FINALE_BITMAP_COLS];    // the end text, 0 or 1
void Finale_Init(void);                 // loader: relief, pictures, end text bitmap
void Finale_Setup(void);                // entry 36: GL state, lists 10 to 14, 16, 17
void Finale_RenderSlideIn(void);        // entry 36
void Finale_RenderTunnel(void);         // entries 37 and 39
void Finale_RenderScroller(void);       // entry 38
void Finale_RenderSlideOut(void);       // entry 40
void Finale_RenderZoomFade(void);       // entry 41
