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
void Mascot_Init(void);                 // loader: logo, the twenty echo copies, the stream table
void Mascot_Setup(void);                // entry 4: GL state, lists 5 to 9
void Mascot_RenderFade(void);           // entries 4 and 6: 3D pass under the fading letterbox
void Mascot_RenderLogo(void);           // entry 5: 3D pass, letterbox and the logo
void Mascot_RenderWipe(void);           // entry 7: 3D pass, the gap lines wiped out
void Mascot_DrawGlow(void);             // one glowing point of a stream (reads the glow state)

// Eyes and lit-window drum (entries 8 to 15).
void Drum_Init(void);                   // loader: pictures, rings, radius table, window frames
void Drum_Setup(void);                  // entry 8: GL state, lists 1 to 11 and 30 to 48
void Drum_RenderWipe(void);             // entries 8 and 15: the white band
void Drum_RenderLetterbox(void);        // entries 9 and 14: white bars open or close
void Drum_RenderEyes(void);             // entry 10: the blinking eyes
void Drum_RenderWindows(void);          // entries 11 and 13: the drum, frame from d0, veil n0
void Drum_RenderReveal(void);           // entry 12: the drum, frame from a

// Glowing pixel wall (entries 16 to 20).
void Wall_Init(void);                   // loader: nothing (the wall's data is constant)
void Wall_Setup(void);                  // entry 16: GL state, the glyph and sheet lists
void Wall_RenderFadeIn(void);           // entry 16
void Wall_RenderRowWave(void);          // entry 17
void Wall_RenderCrossWave(void);        // entry 18
void Wall_RenderDiagonalWave(void);     // entry 19
void Wall_RenderFadeOut(void);          // entry 20

// Ribbed gourd with sparkle rings (entries 21 to 27).
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

// Spiked sphere with corner captions (entries 29 to 34).
void Spikes_Init(void);                 // loader: captions, profile, ring and spike grid
void Spikes_Setup(void);                // entry 29: GL state, lists 2 to 8 and 10 to 3009
void Spikes_RenderFadeIn(void);         // entry 29
void Spikes_RenderTopRight(void);       // entry 30
void Spikes_RenderBottomRight(void);    // entry 31
void Spikes_RenderTopLeft(void);        // entry 32
void Spikes_RenderBottomLeft(void);     // entry 33
void Spikes_RenderFadeOut(void);        // entry 34

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
