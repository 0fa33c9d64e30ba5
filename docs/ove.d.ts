// Type declarations for OVE game scripts.
//
// Game scripts are plain JavaScript (ES5 with Duktape's extensions); these declarations let an
// editor or the TypeScript compiler check them. Put this file next to your scripts (or name it in a
// jsconfig.json) and check with:
//
//     tsc --noEmit --allowJs --checkJs --target es5 --lib es5 ove.d.ts *.js
//
// (copy or link the .ovs scripts to .js names first; tsc reads only .js and .ts files). Leave the
// browser's DOM library out (`--lib es5`, or "lib": ["es5"] in a jsconfig.json): OVE has classes
// of its own named Window, Image and FileReader. The reference pages in this folder describe what
// every function does.

// ---------------------------------------------------------------------------------------------
// Shared shapes

/** A point in screen, backdrop or world pixels. */
interface Point {
    x: number;
    y: number;
}

/** A cell of a tile layer. */
interface TilePosition {
    col: number;
    row: number;
}

/** A colour argument: a `Colour`, or a number 0xRRGGBB taken as opaque. */
type ColourValue = Colour | number;

/** A view: the name of a NAME.OVV file (a number is used as its text), or a View built in script. */
type ViewValue = string | number | View;

/** A script function the engine calls back later (movement and animation ends). */
type Callback = () => void;

// ---------------------------------------------------------------------------------------------
// What the game script defines and the engine calls (global functions of main.ovs)

/**
 * The functions a game's main script defines. The engine calls `Init()` once before the window
 * opens, then `Run()`, which holds the game loop; `Quit()` when the player closes the window.
 * The handlers are optional; a handler runs nested inside the frame function (`Animate`,
 * `Display`, `Idle`, `Wait`, `ReadKey`) that handled the input.
 */
interface OveGameScript {
    Init(): void;
    Run(): void;
    Quit(): void;
    /** Mouse moved or a button changed; buttons: bit 0 left, bit 1 right, bit 2 middle. */
    onMouseEvent?(x: number, y: number, buttons: number): void;
    /** The wheel turned: delta counts notches, positive away from the player (usually 1 or -1). */
    onMouseWheel?(x: number, y: number, delta: number): void;
    /** The window changed size (flexible resolution only); WIDTH and HEIGHT are updated. */
    onResize?(width: number, height: number): void;
}

// ---------------------------------------------------------------------------------------------
// Globals the engine defines

/** The game parameters from the command line. */
declare const PARAMS: string;
/** The game's logical screen size (follows the window with a flexible resolution). */
declare var WIDTH: number;
declare var HEIGHT: number;
declare const FOLDER_APPDATA: string;
declare const FOLDER_LOCAL_APPDATA: string;
declare const FOLDER_MY_DOCUMENTS: string;

// ---------------------------------------------------------------------------------------------
// Script modules

declare function Import(name: string): void;
declare function ImportOnce(name: string): void;
/** Runs the script apart from the game and returns copies of its globals. */
declare function LoadScript(name: string): any;
declare function ReloadScript(module: object): boolean;
declare function ScriptExists(name: string): boolean;
declare function DestroyScript(module: any): void;

// ---------------------------------------------------------------------------------------------
// Frames, backdrop, masks, cursor, title, random numbers, message boxes

declare function Alert(...values: any[]): void;
declare function alert(...values: any[]): void;
declare function debug(...values: any[]): void;
declare function GC(): void;

declare function Animate(): void;
declare function Display(): void;
declare function Idle(): void;
declare function Mark(): void;
/** Returns `seconds` after the last Mark(), drawing frames meanwhile. */
declare function Wait(seconds: number): void;
/** Waits without drawing or handling input. */
declare function Delay(seconds: number): void;

/** A colour (drops the picture) or the name of a backdrop picture (NAME.OVP). */
declare function SetBackdrop(what: ColourValue | string): void;
declare function ClearBackdrop(): void;
declare function GetBackdrop(): string | Colour;
declare function BackdropExists(name: string): boolean;
declare function PictureExists(name: string): boolean;
declare function SetBackdropDimensions(width: number | null | undefined, height: number | null | undefined): void;
declare function SetBackdropOffset(x: number, y: number): void;
declare function GetBackdropWidth(): number;
declare function GetBackdropHeight(): number;
declare function GetBackdropXOffset(): number;
declare function GetBackdropYOffset(): number;
declare function BackdropToScreen(x: number, y: number): Point;
declare function BackdropToScreen(point: Point): Point;
declare function ScreenToBackdrop(x: number, y: number): Point;
declare function ScreenToBackdrop(point: Point): Point;
/** The control mask's value at a backdrop pixel, or under a sprite. */
declare function GetControl(x: number, y: number): number;
declare function GetControl(where: Point | Sprite): number;
/** The walk mask's value at a backdrop pixel, or under a sprite. */
declare function GetWalkability(x: number, y: number): number;
declare function GetWalkability(where: Point | Sprite): number;
/** The name of the sprite or hotspot at a screen point: "*" for none, null for an unnamed hotspot. */
declare function GetHotspot(x: number, y: number): string | null;
declare function GetHotspot(where: Point | Sprite): string | null;
declare function SetCursor(sprite: Sprite): void;
declare function ClearCursor(): void;
declare function SetPriorityViewportHeight(height: number | null | undefined): void;
declare function SetTitle(text: string): void;
declare function GoFullScreen(): void;
declare function GetParams(): string;
declare function RandomInt(): number;
declare function RandomInt(high: number): number;
declare function RandomInt(low: number, high: number): number;

declare const BACKGROUND: 0;
declare const AUTO: -1;
declare const ONTOP: -2;
declare const EAST: 0;
declare const WEST: 1;
declare const SOUTH: 2;
declare const NORTH: 3;
declare const SOUTHEAST: 4;
declare const SOUTHWEST: 5;
declare const NORTHEAST: 6;
declare const NORTHWEST: 7;
declare const ALIGN_NONE: 0;
declare const ALIGN_TOP: 0;
declare const ALIGN_LEFT: 0;
declare const ALIGN_CENTRE: 1;
declare const ALIGN_CENTER: 1;
declare const ALIGN_BOTTOM: 2;
declare const ALIGN_RIGHT: 2;

// ---------------------------------------------------------------------------------------------
// Keyboard, game controllers, files

/** The most recent queued key code, 0 when none. Characters 128-255 come as negative numbers. */
declare function ReadKey(): number;
declare function PostKey(code: number): void;
declare function KeyDown(code: number): boolean;

interface GameController {
    id: number;
    name: string;
    axes: { x?: number; y?: number; z?: number; r?: number; u?: number; v?: number };
    /** Present only with a hat: false when centred, else degrees (0 forward, 90 right). */
    pov?: false | number;
    buttons: boolean[];
}
declare function ReadGameControllers(): GameController[];

declare function GetDrives(): string[];
declare function GetDriveType(drive: string): number;
declare function GetFiles(pattern?: string): string[];
declare function GetDirectories(pattern?: string): string[];
declare function CreateDirectory(path: string): boolean;
declare function DeleteFile(path: any): boolean;
declare function RenameFile(from: any, to: any): boolean;
declare function GetCurrentDirectory(): string;
declare function SetCurrentDirectory(path: string): boolean;
declare function ReadTextFile(name: string): string;

declare const BACKSPACE: 8;
declare const TAB: 9;
declare const ENTER: 13;
declare const ESCAPE: 27;
declare const SPACEBAR: 32;
declare const PLUS: 43;
declare const MINUS: 45;
declare const EQUALS: 61;
declare const CTRL: 7424;
declare const LSHIFT: 10752;
declare const RSHIFT: 13824;
declare const F1: 15104;
declare const F2: 15360;
declare const F3: 15616;
declare const F4: 15872;
declare const F5: 16128;
declare const F6: 16384;
declare const F7: 16640;
declare const F8: 16896;
declare const F9: 17152;
declare const F10: 17408;
declare const F11: 22272;
declare const F12: 22528;
declare const HOME: 18176;
declare const UP: 18432;
declare const PAGE_UP: 18688;
declare const LEFT: 19200;
declare const NUMPAD5: 19456;
declare const RIGHT: 19712;
declare const END: 20224;
declare const DOWN: 20480;
declare const PAGE_DOWN: 20736;
declare const INSERT: 20992;
declare const DELETE: 21248;
declare const ALTA: 321, ALTB: 322, ALTC: 323, ALTD: 324, ALTE: 325, ALTF: 326, ALTG: 327, ALTH: 328,
    ALTI: 329, ALTJ: 330, ALTK: 331, ALTL: 332, ALTM: 333, ALTN: 334, ALTO: 335, ALTP: 336, ALTQ: 337,
    ALTR: 338, ALTS: 339, ALTT: 340, ALTU: 341, ALTV: 342, ALTW: 343, ALTX: 344, ALTY: 345, ALTZ: 346;
declare const CTRLA: 1, CTRLB: 2, CTRLC: 3, CTRLD: 4, CTRLE: 5, CTRLF: 6, CTRLG: 7, CTRLH: 8, CTRLI: 9,
    CTRLJ: 10, CTRLK: 11, CTRLL: 12, CTRLM: 13, CTRLN: 14, CTRLO: 15, CTRLP: 16, CTRLQ: 17, CTRLR: 18,
    CTRLS: 19, CTRLT: 20, CTRLU: 21, CTRLV: 22, CTRLW: 23, CTRLX: 24, CTRLY: 25, CTRLZ: 26;

declare const DRIVETYPE_UNKNOWN: 0;
declare const DRIVETYPE_FLOPPY: 1;
declare const DRIVETYPE_REMOVABLE: 2;
declare const DRIVETYPE_FIXED: 3;
declare const DRIVETYPE_REMOTE: 4;
declare const DRIVETYPE_CDROM: 5;
declare const DRIVETYPE_RAMDISK: 6;

/** Reads a file of tagged values and raw bytes from the disk (optionally enciphered). */
declare class FileReader {
    constructor(path: string, password?: string);
    readonly valid: boolean;
    readonly size: number;
    pos: number;
    /** The next value (a number, string, null or undefined, as written); undefined at the end. */
    Read(): any;
    ReadRaw(count: number): string;
    Close(): void;
}

/** Writes tagged values and raw bytes to the disk (optionally enciphered); replaces the file on Close. */
declare class FileWriter {
    constructor(path: string, password?: string);
    readonly valid: boolean;
    Write(...values: Array<number | string | null | undefined>): void;
    WriteBinary(...values: Array<number | string | null | undefined>): void;
    WriteRaw(...values: any[]): number;
    Close(): void;
}

// ---------------------------------------------------------------------------------------------
// Colours

declare class Colour {
    constructor(r?: number, g?: number, b?: number, a?: number);
    r8: number;
    g8: number;
    b8: number;
    a8: number;
    rf: number;
    gf: number;
    bf: number;
    af: number;
    /** 0xRRGGBB; writing makes the colour opaque. */
    rgb: number;
    /** 0xAARRGGBB. */
    rgba: number;
    toString(): string;
}
declare function RGB8(r: number, g: number, b: number): Colour;
declare function RGBA8(r: number, g: number, b: number, a: number): Colour;
declare function RGBF(r: number, g: number, b: number): Colour;
declare function RGBAF(r: number, g: number, b: number, a: number): Colour;
declare function RGB(rgb: number): Colour;
declare function RGBA(argb: number): Colour;

// The 16-colour palette and the desktop theme's colours (read-only).
declare const TRANSPARENT: Colour;
declare const BLACK: Colour;
declare const DBLUE: Colour;
declare const DGREEN: Colour;
declare const DCYAN: Colour;
declare const DRED: Colour;
declare const DMAGENTA: Colour;
declare const BROWN: Colour;
declare const SILVER: Colour;
declare const GREY: Colour;
declare const BLUE: Colour;
declare const GREEN: Colour;
declare const CYAN: Colour;
declare const RED: Colour;
declare const MAGENTA: Colour;
declare const YELLOW: Colour;
declare const WHITE: Colour;
declare const OS_BG_WINDOW: Colour;
declare const OS_FG_WINDOW: Colour;
declare const OS_BG_SELECTION: Colour;
declare const OS_FG_SELECTION: Colour;
declare const OS_BG_TITLE: Colour;
declare const OS_FG_TITLE: Colour;
declare const OS_BG_BUTTON: Colour;
declare const OS_FG_BUTTON: Colour;
declare const OS_BG_MENU: Colour;
declare const OS_FG_MENU: Colour;
declare const OS_DISABLED: Colour;
declare const OS_BG_TOOLTIP: Colour;
declare const OS_FG_TOOLTIP: Colour;

// ---------------------------------------------------------------------------------------------
// Sprites and views

declare class Sprite {
    constructor();
    /** Hotspot name reported by GetHotspot; null for none. */
    name: string | null;
    x: number;
    y: number;
    /** 0 ... 16, AUTO (-1) or ONTOP (-2). */
    priority: number;
    /** Assign a view name (NAME.OVV) or a View built in script; reads the name. */
    view: ViewValue | null;
    loop: number;
    readonly loops: number;
    cel: number;
    readonly cels: number;
    /** FORWARD, REVERSE, FORWARD_ONCE, REVERSE_ONCE or RANDOMIZE. */
    animation: number;
    delay: number;
    step: number;
    tint: ColourValue;
    opacity: number;
    scale: number;
    readonly width: number;
    readonly height: number;
    xalign: number;
    yalign: number;
    readonly xshift: number;
    readonly yshift: number;
    /** Reads [operator, reference]; write a text such as "<=5" or "mask3". */
    walkconstr: string | [string, number];
    walkconstr_fn: string;
    walkconstr_ref: number | number[];
    active: boolean;
    cycling: boolean;
    readonly flag: boolean;
    ignore: boolean;
    noncorporeal: boolean;
    visible: boolean;

    AllowedAt(x: number, y: number): boolean;
    CancelWalking(): void;
    HitTestRect(x: number, y: number): boolean;
    MoveTo(x: number, y: number, callback?: Callback): void;
    Moving(): boolean;
    Walking(): boolean;
    /** Walks over the walk mask; false when no way was found. */
    WalkTo(x: number, y: number, callback?: Callback): boolean;
    /** Draws every cel at width x height (negative sizes mirror); no arguments: natural size. */
    ForceDisplaySize(width: number, height: number): void;
    ForceDisplaySize(off?: false | null): void;
    PlayAnimation(mode: number, loop: number, callback?: Callback): void;
    ResetAnim(): void;
    /** SCREEN, BACKDROP, another Sprite or a TileLayer. */
    SetPlacement(placement: number | Sprite | TileLayer): void;
}
declare function CreateSprite(): Sprite;
declare function DestroySprite(sprite: Sprite): void;
declare function ViewExists(name: string): boolean;
declare function ForgetView(name: string): void;

declare const FORWARD: 5;
declare const REVERSE: 6;
declare const FORWARD_ONCE: 9;
declare const REVERSE_ONCE: 10;
declare const RANDOMIZE: 15;
declare const SCREEN: 0;
declare const BACKDROP: 1;

/** A view built in script from images. */
declare class View {
    constructor();
    /** A loop for the next cels, or a mirror image of loop `mirrorOf`. */
    NewLoop(mirrorOf?: number): void;
    NewCel(image: Image, x: number, y: number, width: number, height: number): void;
    Fixate(): void;
}
declare function CreateView(): View;
declare function DestroyView(view: View): void;

// ---------------------------------------------------------------------------------------------
// Lines, rectangles, buckets

declare class DrawingElement {
    protected constructor();
    x1: number;
    y1: number;
    x2: number;
    y2: number;
    priority: number;
    stroke: ColourValue;
    fill: ColourValue;
    visible: boolean;
}
declare class Line extends DrawingElement {
    constructor();
    width: number;
}
declare class Rectangle extends DrawingElement {
    constructor();
    border: number;
}
declare function CreateLine(): Line;
declare function CreateRectangle(): Rectangle;
declare function DestroyLine(element: DrawingElement): void;
declare function DestroyRectangle(element: DrawingElement): void;

declare class Buckets {
    constructor(count: number);
    AddToBucket(bucket: number, value: number): void;
    ClearAllBuckets(): void;
    GetBucketContents(bucket: number): number[] | null;
}
declare function CreateBuckets(count: number): Buckets;
declare function DestroyBuckets(buckets: Buckets): void;

// ---------------------------------------------------------------------------------------------
// Images

declare class Image {
    constructor(width: number, height: number);
    constructor(file: string);
    readonly width: number;
    readonly height: number;
    /** Level 1 ... 16 while registered as an image layer. */
    priority: number;
    Clear(colour: Colour): void;
    FillRect(x: number, y: number, width: number, height: number, colour: Colour): void;
    DrawRect(x1: number, y1: number, x2: number, y2: number, colour: Colour): void;
    GetPixel(x: number, y: number): Colour;
    SetPixel(x: number, y: number, colour: Colour): void;
}
declare function CreateImage(width: number, height: number): Image;
declare function LoadImage(file: string): Image;
declare function DestroyImage(image: Image): void;
declare function RenderToImage(width: number, height: number): Image | undefined;
declare function DecodeImage(format: number, data: string): Image;
declare function EncodeImage(format: number, image: Image): string;
declare function SaveImage(file: string, image: Image): void;
declare function RegisterImageLayer(image: Image): void;
declare function UnregisterImageLayer(image: Image): void;
declare const FORMAT_BMP: 1;
declare const FORMAT_JPEG: 2;
declare const FORMAT_PNG: 3;
declare const FORMAT_QOI: 4;

// ---------------------------------------------------------------------------------------------
// Tile layers

/** A tile. Tiles read back have every field; when setting one, the others default. */
interface Tile {
    loop: number;
    base_cel?: number;
    current_cel?: number;
    animated?: boolean;
}

declare class TileLayers {
    constructor();
    readonly count: number;
    /** Any JSON data, saved with the set. */
    properties: any;
    AddLayer(name: string, columns: number, rows: number): TileLayer;
    InsertLayer(name: string, columns: number, rows: number, before: TileLayer | number | string): TileLayer;
    GetLayer(which: number | string): TileLayer | undefined;
    Load(file: string): void;
    Save(file: string): void;
}
declare function CreateLayers(): TileLayers;
declare function DestroyLayers(layers: TileLayers): void;
declare function LayersetExists(name: string): boolean;
declare function SetLayers(layers: TileLayers | null | undefined | false): void;

declare class TileLayer {
    private constructor();
    name: string;
    readonly columns: number;
    readonly rows: number;
    readonly width: number;
    readonly height: number;
    readonly screenwidth: number;
    readonly screenheight: number;
    readonly celwidth: number;
    readonly celheight: number;
    priority: number;
    /** FIXED, LIMIT, CLAMP or REPEAT. */
    mode_x: number;
    mode_y: number;
    offset_x: number;
    offset_y: number;
    scale: number;
    delay: number;
    visible: boolean;
    readonly center: Point;
    /** Reads the view's name (null without one); writing takes a name or a View. */
    view: ViewValue | null;

    TileToWorld(col: number, row: number): Point;
    TileToWorld(tile: TilePosition): Point;
    TileToScreen(col: number, row: number): Point;
    TileToScreen(tile: TilePosition): Point;
    WorldToTile(x: number, y: number): TilePosition;
    WorldToTile(point: Point): TilePosition;
    ScreenToTile(x: number, y: number): TilePosition;
    ScreenToTile(point: Point): TilePosition;
    WorldToScreen(x: number, y: number): Point;
    WorldToScreen(point: Point): Point;
    ScreenToWorld(x: number, y: number): Point;
    ScreenToWorld(point: Point): Point;
    GetTile(col: number, row: number): Tile | undefined;
    GetTile(tile: TilePosition): Tile | undefined;
    GetWorldTile(x: number, y: number): Tile | undefined;
    GetWorldTile(point: Point): Tile | undefined;
    GetScreenTile(x: number, y: number): Tile | undefined;
    GetScreenTile(point: Point): Tile | undefined;
    SetTile(col: number, row: number, tile: Tile | null): void;
    SetTile(col: number, row: number, loop: number | null, baseCel?: number, animated?: boolean, currentCel?: number): void;
    SetTile(position: TilePosition, tile: Tile | null): void;
    SetTile(position: TilePosition, loop: number | null, baseCel?: number, animated?: boolean, currentCel?: number): void;
    ClearTile(col: number, row: number): void;
    ClearTile(position: TilePosition): void;
    Clear(): void;
    CenterOnWorld(x: number, y: number): void;
    CenterOnWorld(point: Point): void;
    CenterOnTile(col: number, row: number): void;
    CenterOnTile(tile: TilePosition): void;
    CenterOnScreen(x: number, y: number): void;
    CenterOnScreen(point: Point): void;
    ReadWorldPixel(x: number, y: number): Colour;
    ReadWorldPixel(point: Point): Colour;
}
declare const FIXED: 0;
declare const LIMIT: 1;
declare const CLAMP: 2;
declare const REPEAT: 3;

// ---------------------------------------------------------------------------------------------
// GUI

/**
 * The base of every widget; `new GUIElement()` is an error. Scripts may keep their own data on
 * elements (`window.list = list`), so any other property name is accepted.
 */
declare class GUIElement {
    [key: string]: any;
    protected constructor(parent?: GUIElement | null);
    readonly parent: GUIElement | null;
    text: string;
    /** EFFECT_NONE, EFFECT_OUTLINE, EFFECT_RAISED or EFFECT_SHADOW. */
    text_effect: number;
    effect_colour: ColourValue;
    alignment: number;
    padding: number;
    x1: number;
    y1: number;
    x2: number;
    y2: number;
    client_x1: number;
    client_y1: number;
    client_x2: number;
    client_y2: number;
    readonly client_width: number;
    readonly client_height: number;
    readonly width: number;
    readonly height: number;
    priority: number;
    background: ColourValue;
    border: ColourValue;
    shadow: ColourValue;
    colour: ColourValue;
    /** A font name (NAME.OVF). */
    font: string;
    /** One of the STYLE_ constants. */
    style: number;
    disabled: boolean;
    noncorporeal: boolean;
    visible: boolean;

    Center(): void;
    CenterAt(x: number, y: number): void;
    Focus(): boolean;
    HitTestRect(x: number, y: number): boolean;
    MoveBy(dx: number, dy: number): void;
    MoveTo(x: number, y: number): void;
    Resize(width: number, height: number): void;
    ResizeClient(width: number, height: number): void;
    SetPadding(all: number): void;
    SetPadding(vertical: number, horizontal: number): void;
    SetPadding(top: number, horizontal: number, bottom: number): void;
    SetPadding(top: number, right: number, bottom: number, left: number): void;

    // Event handlers the script may give an element (x, y in screen pixels).
    onMove?: (x: number, y: number) => void;
    onLButtonDown?: (x: number, y: number) => void;
    onLButtonUp?: (x: number, y: number) => void;
    onRButtonDown?: (x: number, y: number) => void;
    onRButtonUp?: (x: number, y: number) => void;
    onMButtonDown?: (x: number, y: number) => void;
    onMButtonUp?: (x: number, y: number) => void;
    onKey?: (key: number) => void;
    onFocus?: () => void;
    onBlur?: () => void;
}

declare class Label extends GUIElement {
    constructor(parent?: GUIElement | null);
    wrapping: boolean;
    AutoSize(maxWidth?: number, maxHeight?: number): void;
}
declare class Button extends Label {
    constructor(parent?: GUIElement | null);
    onClick?: () => void;
    onEnter?: () => void;
    onLeave?: () => void;
}
declare class GraphicButton extends Button {
    constructor(parent?: GUIElement | null);
    /** Reads the name; writing also takes an Image, shown as one cel. */
    view: ViewValue | Image | null;
    loop: number;
    cel: number | null;
    /** Reads the name; writing also takes an Image, shown as one cel. */
    default_view: ViewValue | Image | null;
    default_loop: number;
    default_cel: number | null;
    readonly default_loops: number;
    readonly default_cels: number;
    /** Reads the name; writing also takes an Image, shown as one cel. */
    disabled_view: ViewValue | Image | null;
    disabled_loop: number;
    disabled_cel: number | null;
    readonly disabled_loops: number;
    readonly disabled_cels: number;
    /** Reads the name; writing also takes an Image, shown as one cel. */
    over_view: ViewValue | Image | null;
    over_loop: number;
    over_cel: number | null;
    readonly over_loops: number;
    readonly over_cels: number;
    /** Reads the name; writing also takes an Image, shown as one cel. */
    down_view: ViewValue | Image | null;
    down_loop: number;
    down_cel: number | null;
    readonly down_loops: number;
    readonly down_cels: number;
    AutoSize(): void;
    AutoSize(width: number | null, height: number | null): void;
}
declare class Checkbox extends Label {
    constructor(parent?: GUIElement | null);
    checked: boolean;
    onChange?: () => void;
}
declare class Window extends GUIElement {
    constructor(parent?: GUIElement | null);
    movable: boolean;
    title_background: ColourValue;
    title_colour: ColourValue;
    AutoSize(): void;
    BeginModal(): void;
    EndModal(): void;
}
declare class MessageBox extends Window {
    constructor(parent?: GUIElement | null);
    title: string;
    wrapping: boolean;
    AutoSize(maxWidth?: number, maxHeight?: number): void;
}
declare class TextInput extends GUIElement {
    constructor(parent?: GUIElement | null);
    /** INPUT_TEXT, INPUT_INT or INPUT_FLOAT. */
    type: number;
    /** The text, or the number (undefined while it does not parse). */
    value: string | number | undefined;
    max: number;
    min: number | undefined;
    read_only: boolean;
    selection_background: ColourValue;
    selection_colour: ColourValue;
    readonly optimal_height: number;
    SelectAll(): void;
    SelectNone(): void;
    onChange?: () => void;
}
declare class ListBox extends GUIElement {
    constructor(parent?: GUIElement | null);
    readonly count: number;
    index: number;
    readonly item_height: number;
    offset: number;
    /** The icons' view; reads its name, or undefined without one. Writing also takes an Image. */
    view: ViewValue | Image | undefined;
    selection_background: ColourValue;
    selection_colour: ColourValue;
    AddItem(text: string, loop?: number, cel?: number): number;
    Clear(): void;
    GetItem(x: number, y: number): number | undefined;
    GetItem(point: Point): number | undefined;
    LineUp(): void;
    LineDown(): void;
    PageUp(): void;
    PageDown(): void;
    ToStart(): void;
    ToEnd(): void;
    ToIndex(index: number): void;
    onChange?: (index: number) => void;
    onDoubleClick?: (index: number) => void;
}

declare function CreateLabel(parent?: GUIElement | null): Label;
declare function CreateButton(parent?: GUIElement | null): Button;
declare function CreateGraphicButton(parent?: GUIElement | null): GraphicButton;
declare function CreateCheckbox(parent?: GUIElement | null): Checkbox;
declare function CreateWindow(parent?: GUIElement | null): Window;
declare function CreateMessageBox(parent?: GUIElement | null): MessageBox;
declare function CreateInput(parent?: GUIElement | null): TextInput;
declare function CreateListBox(parent?: GUIElement | null): ListBox;
declare function DestroyLabel(element: GUIElement): void;
declare function DestroyButton(element: GUIElement): void;
declare function DestroyGraphicButton(element: GUIElement): void;
declare function DestroyCheckbox(element: GUIElement): void;
declare function DestroyWindow(element: GUIElement): void;
declare function DestroyMessageBox(element: GUIElement): void;
declare function DestroyInput(element: GUIElement): void;
declare function DestroyListBox(element: GUIElement): void;
declare function AnimateGUI(): void;
declare function FindElementAt(x: number, y: number): GUIElement | null;

declare const EFFECT_NONE: 0;
declare const EFFECT_OUTLINE: 1;
declare const EFFECT_RAISED: 2;
declare const EFFECT_SHADOW: 3;
declare const INPUT_TEXT: 0;
declare const INPUT_INT: 1;
declare const INPUT_FLOAT: 2;
declare const STYLE_NONE: 0;
declare const STYLE_FLAT: 7;
declare const STYLE_SOLID: 8;
declare const STYLE_SOLID_SHADOW: 9;
declare const STYLE_RAISED: 4;
declare const STYLE_INSET: 5;
declare const STYLE_3D_RAISED: 2;
declare const STYLE_3D_INSET: 3;
declare const STYLE_3D_SHADOW: 1;
declare const STYLE_CLASSIC: 6;
declare const STYLE_OS: 10;

// ---------------------------------------------------------------------------------------------
// Text on the screen, fonts, substitution tables

declare function DrawTextAt(x: number, y: number, text: string): void;
declare function ClearText(): void;
declare function SetTextFont(font: string): void;
declare function SetTextColour(colour: ColourValue): void;
declare function SetTextBackground(colour: ColourValue): void;
declare function SetTextEffect(effect: number, colour?: ColourValue): void;
declare function SetTextPriority(priority: number): void;
declare function FontExists(font: string): boolean;
declare function FontHeight(font: string): number;
declare function MeasureText(font: string, text: string): { w: number; h: number };
declare function MeasuredText(font: string, text: string, width: number, direction?: number): string;
declare const FROM_START: 1;
declare const FROM_END: -1;

declare function RegisterSubstitutionTable(name: string, file: string, priority?: number): void;
declare function RemoveSubstitutionTable(name: string): void;
declare function ReloadSubstitutionTables(): number;
declare function ApplySubstitutionTables(text: string): string;

// ---------------------------------------------------------------------------------------------
// Sound

/** Made by LoadSound; `new Sound()` is an error. */
declare class Sound {
    protected constructor();
    /** Milliseconds; null when not known. */
    readonly length: number | null;
    looping: boolean;
    readonly playing: boolean;
    /** 0 ... 100. */
    volume: number;
}
declare function LoadSound(name: string): Sound;
/** Plays a sound by name (NAME.OVA, else NAME.WAV) or object; its length in ms, or null. */
declare function PlaySound(sound: string | Sound, volume?: number): number | null;
declare function StopSound(sound: Sound): void;
declare function SoundExists(name: string): boolean;
declare function GetVolume(): number;
declare function SetVolume(volume: number): void;
declare function DestroySound(sound: Sound): void;
