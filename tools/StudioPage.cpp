// The page is plain HTML, CSS and JavaScript on a canvas. It paints the masks itself but asks the
// server (the engine's code) every question about what the game would do.
#include "StudioPage.h"

namespace studio {

namespace {

const char kPage[] = R"PAGE(<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>OVE studio</title>
<style>
*{box-sizing:border-box}
body{margin:0;font:13px/1.35 system-ui,sans-serif;background:#23262b;color:#dde;display:grid;
 grid-template-columns:260px 1fr;grid-template-rows:auto 1fr auto;height:100vh;overflow:hidden}
#bar{grid-column:1/3;display:flex;flex-wrap:wrap;gap:3px;align-items:center;padding:5px 8px;background:#2e3238;border-bottom:1px solid #111}
#side{overflow:auto;padding:6px 8px;background:#2a2d33;border-right:1px solid #111}
#stage{position:relative;overflow:hidden;background:#17191c}
#view{position:absolute;left:0;top:0;cursor:crosshair}
#status{grid-column:1/3;padding:3px 8px;background:#2e3238;border-top:1px solid #111;white-space:nowrap;overflow:hidden}
button{background:#3b4047;color:#dde;border:1px solid #555;border-radius:3px;padding:3px 7px;cursor:pointer}
button:hover{background:#474d56}
button.on{background:#2f6fb3;border-color:#6aa3e0}
input,select{background:#1d2024;color:#dde;border:1px solid #555;border-radius:3px;padding:2px 4px}
input[type=number]{width:52px}
h3{margin:10px 0 4px;font-size:12px;text-transform:uppercase;letter-spacing:.05em;color:#9ab}
.row{display:flex;align-items:center;gap:5px;margin:2px 0}
.sw{display:inline-block;width:12px;height:12px;border:1px solid #000;flex:none}
.hs{padding:2px;border-radius:3px}
.hs.sel{background:#34506e}
.hs input[type=text]{flex:1;min-width:0}
.sep{width:1px;height:20px;background:#555;margin:0 2px}
.note{color:#99a;font-size:12px}
#msg.err{color:#f88}
</style></head><body>
<div id="bar">
 <button data-tool="brush" title="Brush (B)">Brush</button>
 <button data-tool="eraser" title="Eraser (E)">Eraser</button>
 <button data-tool="rect" title="Rectangle (R)">Rectangle</button>
 <button data-tool="poly" title="Polygon: click the corners, click the first again or double-click to fill; Esc drops it (G)">Polygon</button>
 <button data-tool="fill" title="Flood fill (F)">Fill</button>
 <button data-tool="picker" title="Picker (I)">Picker</button>
 <button data-tool="path" title="Path preview: click start, then goal (P)">Path</button>
 <button data-tool="sprite" title="Sprite depth preview: drag a figure (S)">Sprite</button>
 <button data-tool="pan" title="Pan (H, or drag with the middle button)">Pan</button>
 <span class="sep"></span>
 <label>Size <input id="size" type="number" min="1" max="128" value="8"></label>
 <label>Value <input id="value" type="number" min="0" max="255" value="1"></label>
 <span class="sep"></span>
 <button id="undo" title="Undo (Ctrl+Z)">Undo</button>
 <button id="redo" title="Redo (Ctrl+Y)">Redo</button>
 <span class="sep"></span>
 <button id="zoomout" title="Zoom out (-)">&minus;</button>
 <span id="zoomtext">100%</span>
 <button id="zoomin" title="Zoom in (+)">+</button>
 <button id="fit" title="Fit (0)">Fit</button>
 <span class="sep"></span>
 <input id="savename" type="text" size="10" title="File in the room's folder">
 <label title="Also write the masks as grey pictures and the hotspot names as a text file, for ovetool pict"><input id="sources" type="checkbox">masks too</label>
 <button id="save" title="Save (Ctrl+S)">Save</button>
 <button id="reload" title="Read the room again from disk">Reload</button>
</div>
<div id="side">
 <h3>Room</h3><div id="roominfo" class="note"></div>
 <h3>Layers</h3><div id="layers"></div>
 <h3>Hotspots</h3><div id="hotspots"></div>
 <div class="row"><button id="hsadd">Add hotspot</button></div>
 <h3>Preview</h3>
 <div class="row">Walk constraint <select id="con"><option>!=</option><option>==</option><option>&lt;</option>
  <option>&lt;=</option><option>&gt;=</option><option>&gt;</option><option>mask</option></select>
  <input id="conref" type="number" value="0"></div>
 <div class="row">Shown size <input id="shownw" type="number" min="0" value="0"> &times; <input id="shownh" type="number" min="0" value="0"></div>
 <div class="row">Priority height <input id="prioh" type="number" min="0" value="0"></div>
 <div class="row">Sprite <select id="spriteview" title="Views (.OVV) in the room's folder"><option value="">stand-in figure</option></select></div>
 <div class="row">loop <input id="loop" type="number" value="0"> cel <input id="cel" type="number" value="0"></div>
 <div class="note">0 takes the picture's own size. Paths and depths come from the engine.</div>
 <div id="pathinfo" class="note"></div>
 <div id="depthinfo" class="note"></div>
</div>
<div id="stage"><canvas id="view"></canvas></div>
<div id="status"><span id="hover"></span> <span id="msg"></span></div>
<script>
'use strict';
const token = new URLSearchParams(location.search).get('t') || '';
const $ = id => document.getElementById(id);
async function api(method, path, body, type) {
  const opts = {method, headers: {'X-Studio-Token': token}};
  if (body !== undefined) { opts.body = body; if (type) opts.headers['Content-Type'] = type; }
  const r = await fetch(path, opts);
  if (!r.ok) {
    let m = 'HTTP ' + r.status;
    try { m = (await r.json()).error || m; } catch (e) {}
    throw new Error(m);
  }
  return r;
}
const jget = async p => (await api('GET', p)).json();
const jsend = async (p, o, m) => (await api(m || 'POST', p, JSON.stringify(o), 'application/json')).json();
function say(text, bad) { const m = $('msg'); m.textContent = text; m.className = bad ? 'err' : ''; }

const LAYERS = ['walk', 'depth', 'click', 'control'];
const LABEL = {walk: 'Walkable area', depth: 'Depth levels', click: 'Hotspots (click)', control: 'Control'};
const MAXV = {walk: 255, depth: 15, click: 255, control: 255};
const S = {
  W: 0, H: 0, file: '', masks: {}, canvases: {}, image: null,
  layer: 'walk', tool: 'brush', size: 8, value: {walk: 1, depth: 1, click: 1, control: 1},
  show: {image: true, walk: true, depth: true, click: true, control: false, baselines: true},
  alpha: {walk: 0.45, depth: 0.5, click: 0.55, control: 0.45},
  zoom: 1, panX: 0, panY: 0, undo: [], redo: [], dirty: {}, hsDirty: false, poly: null,
  hotspots: [], path: null, pathFrom: null, pathTo: null, rows: null, figure: null, drag: null, hover: null,
  ready: false
};

function hsl(h, s, l) {
  s /= 100; l /= 100;
  const k = n => (n + h / 30) % 12, a = s * Math.min(l, 1 - l);
  const f = n => l - a * Math.max(-1, Math.min(k(n) - 3, Math.min(9 - k(n), 1)));
  return [Math.round(f(0) * 255), Math.round(f(8) * 255), Math.round(f(4) * 255)];
}
const PAL = {};
for (const l of LAYERS) {
  PAL[l] = [];
  for (let v = 0; v < 256; v++) {
    let c;
    if (l === 'walk') c = v === 1 ? [40, 220, 80] : hsl((120 + v * 37) % 360, 75, 50);
    else if (l === 'depth') c = hsl((240 - (v & 15) * 16 + 360) % 360, 85, 52);
    else if (l === 'click') c = hsl((v * 67 + 20) % 360, 90, 55);
    else c = hsl((v * 47 + 200) % 360, 60, 60);
    PAL[l].push(c);
  }
}
const css = (l, v) => { const c = PAL[l][v]; return 'rgb(' + c[0] + ',' + c[1] + ',' + c[2] + ')'; };

// ---- loading
async function loadAll() {
  const room = await jget('/api/room');
  S.W = room.width; S.H = room.height; S.file = room.file;
  $('savename').value = room.file;
  const img = new Uint8ClampedArray(await (await api('GET', '/api/image')).arrayBuffer());
  const ic = document.createElement('canvas'); ic.width = S.W; ic.height = S.H;
  if (img.length === S.W * S.H * 4) ic.getContext('2d').putImageData(new ImageData(img, S.W, S.H), 0, 0);
  S.image = ic;
  for (const l of LAYERS) {
    const data = new Uint8Array(await (await api('GET', '/api/mask/' + l)).arrayBuffer());
    S.masks[l] = data.length === S.W * S.H ? data : new Uint8Array(S.W * S.H);
    const c = document.createElement('canvas'); c.width = S.W; c.height = S.H;
    S.canvases[l] = c;
    recolour(l, 0, 0, S.W - 1, S.H - 1);
  }
  S.hotspots = room.hotspots.map(h => ({number: h.number, name: h.name}));
  S.undo = []; S.redo = []; S.dirty = {}; S.hsDirty = false; S.path = null; S.pathFrom = S.pathTo = null;
  S.figure = null;
  await loadRows();
  await loadViews();
  buildLayers(); buildHotspots(); stats(); fit(); S.ready = true;
}
async function loadViews() {
  const keep = $('spriteview').value, box = $('spriteview');
  box.length = 1;
  try {
    for (const v of (await jget('/api/views')).views) box.add(new Option(v, v));
  } catch (e) { say(e.message, true); }
  box.value = [...box.options].some(o => o.value === keep) ? keep : '';
}
async function loadCel() {
  S.cel = null;
  const v = $('spriteview').value;
  if (v) {
    const q = '/api/cel?view=' + encodeURIComponent(v) + '&loop=' + (Math.floor(+$('loop').value) || 0) +
              '&cel=' + (Math.floor(+$('cel').value) || 0);
    const buf = await (await api('GET', q)).arrayBuffer();
    const d = new DataView(buf), w = d.getInt32(0, true), h = d.getInt32(4, true);
    if (buf.byteLength === 24 + w * h * 4)
      S.cel = {w, h, left: d.getInt32(8, true), top: d.getInt32(12, true), pixels: new Uint8ClampedArray(buf, 24)};
  }
  if (S.figure) await probeFigure(S.figure.at);
}
async function loadRows() {
  try { S.rows = (await jget('/api/priorities?' + shownQuery())).rows; } catch (e) { S.rows = null; }
}
function shown() {
  return {width: +$('shownw').value || 0, height: +$('shownh').value || 0, priorityHeight: +$('prioh').value || 0};
}
function shownQuery() {
  const s = shown();
  return 'shownWidth=' + s.width + '&shownHeight=' + s.height + '&priorityHeight=' + s.priorityHeight;
}

// ---- layer pictures
function recolour(l, x0, y0, x1, y1) {
  x0 = Math.max(0, x0); y0 = Math.max(0, y0); x1 = Math.min(S.W - 1, x1); y1 = Math.min(S.H - 1, y1);
  if (x1 < x0 || y1 < y0) return;
  const w = x1 - x0 + 1, h = y1 - y0 + 1, m = S.masks[l], pal = PAL[l];
  const id = new ImageData(w, h), d = id.data;
  for (let y = 0; y < h; y++)
    for (let x = 0; x < w; x++) {
      const v = m[(y + y0) * S.W + x + x0], o = (y * w + x) * 4;
      if (v) { const c = pal[v]; d[o] = c[0]; d[o + 1] = c[1]; d[o + 2] = c[2]; d[o + 3] = 255; }
    }
  S.canvases[l].getContext('2d').putImageData(id, x0, y0);
}

// ---- view
const view = $('view'), ctx = view.getContext('2d');
let frame = 0;
function redraw() { if (!frame) frame = requestAnimationFrame(draw); }
function resize() {
  const r = $('stage').getBoundingClientRect();
  view.width = Math.max(1, Math.floor(r.width)); view.height = Math.max(1, Math.floor(r.height));
  redraw();
}
function fit() {
  if (!S.W) return;
  const z = Math.min(view.width / S.W, view.height / S.H) * 0.95;
  S.zoom = z >= 1 ? Math.floor(z) : z;
  S.panX = Math.round((view.width - S.W * S.zoom) / 2); S.panY = Math.round((view.height - S.H * S.zoom) / 2);
  redraw();
}
function zoomAt(f, cx, cy) {
  const z = Math.min(64, Math.max(0.1, S.zoom * f));
  S.panX = cx - (cx - S.panX) * z / S.zoom; S.panY = cy - (cy - S.panY) * z / S.zoom; S.zoom = z;
  redraw();
}
function toRoom(e) {
  const r = view.getBoundingClientRect();
  return {x: Math.floor((e.clientX - r.left - S.panX) / S.zoom), y: Math.floor((e.clientY - r.top - S.panY) / S.zoom)};
}
function draw() {
  frame = 0;
  ctx.setTransform(1, 0, 0, 1, 0, 0);
  ctx.fillStyle = '#17191c'; ctx.fillRect(0, 0, view.width, view.height);
  $('zoomtext').textContent = Math.round(S.zoom * 100) + '%';
  if (!S.W) return;
  ctx.setTransform(S.zoom, 0, 0, S.zoom, S.panX, S.panY);
  ctx.imageSmoothingEnabled = false;
  ctx.fillStyle = '#000'; ctx.fillRect(0, 0, S.W, S.H);
  if (S.show.image) ctx.drawImage(S.image, 0, 0);
  for (const l of ['control', 'depth', 'walk', 'click']) {
    if (!S.show[l]) continue;
    ctx.globalAlpha = S.alpha[l]; ctx.drawImage(S.canvases[l], 0, 0);
  }
  ctx.globalAlpha = 1;
  const px = 1 / S.zoom;
  if (S.show.depth && S.show.baselines && S.rows) {
    // Where a sprite's feet reach each automatic priority.
    ctx.font = (11 * px) + 'px sans-serif'; ctx.lineWidth = px; ctx.setLineDash([4 * px, 3 * px]);
    for (let y = 1; y < S.H; y++) {
      if (S.rows[y] === S.rows[y - 1]) continue;
      ctx.strokeStyle = css('depth', S.rows[y] & 15);
      ctx.beginPath(); ctx.moveTo(0, y); ctx.lineTo(S.W, y); ctx.stroke();
      ctx.fillStyle = ctx.strokeStyle; ctx.fillText(String(S.rows[y]), 2 * px, y - 2 * px);
    }
    ctx.setLineDash([]);
  }
  if (S.zoom >= 8) {
    ctx.strokeStyle = 'rgba(255,255,255,0.12)'; ctx.lineWidth = px; ctx.beginPath();
    const x0 = Math.max(0, Math.floor(-S.panX / S.zoom)), x1 = Math.min(S.W, Math.ceil((view.width - S.panX) / S.zoom));
    const y0 = Math.max(0, Math.floor(-S.panY / S.zoom)), y1 = Math.min(S.H, Math.ceil((view.height - S.panY) / S.zoom));
    for (let x = x0; x <= x1; x++) { ctx.moveTo(x, y0); ctx.lineTo(x, y1); }
    for (let y = y0; y <= y1; y++) { ctx.moveTo(x0, y); ctx.lineTo(x1, y); }
    ctx.stroke();
  }
  if (S.figure && S.figure.canvas) ctx.drawImage(S.figure.canvas, S.figure.left, S.figure.top);
  if (S.pathFrom) marker(S.pathFrom, '#ff0');
  if (S.path && S.path.length) {
    ctx.strokeStyle = '#ffeb3b'; ctx.lineWidth = 2 * px; ctx.beginPath();
    S.path.forEach((p, i) => i ? ctx.lineTo(p.x + 0.5, p.y + 0.5) : ctx.moveTo(p.x + 0.5, p.y + 0.5));
    ctx.stroke();
    for (const p of S.path) { ctx.fillStyle = '#ffeb3b'; ctx.fillRect(p.x - 1.5 * px + 0.5, p.y - 1.5 * px + 0.5, 3 * px, 3 * px); }
  }
  if (S.pathTo) marker(S.pathTo, S.path ? '#f80' : '#f44');
  if (S.poly && S.poly.length) {
    ctx.strokeStyle = '#fff'; ctx.lineWidth = px; ctx.beginPath();
    S.poly.forEach((p, i) => i ? ctx.lineTo(p.x + 0.5, p.y + 0.5) : ctx.moveTo(p.x + 0.5, p.y + 0.5));
    if (S.hover) ctx.lineTo(S.hover.x + 0.5, S.hover.y + 0.5);
    ctx.stroke();
  }
  if (S.drag && S.drag.kind === 'rect') {
    const a = S.drag.a, b = S.drag.b;
    ctx.strokeStyle = '#fff'; ctx.lineWidth = px;
    ctx.strokeRect(Math.min(a.x, b.x), Math.min(a.y, b.y), Math.abs(a.x - b.x) + 1, Math.abs(a.y - b.y) + 1);
  }
  if (S.hover && (S.tool === 'brush' || S.tool === 'eraser')) {
    ctx.strokeStyle = 'rgba(255,255,255,0.8)'; ctx.lineWidth = px;
    const r = S.size / 2;
    ctx.beginPath(); ctx.arc(S.hover.x + 0.5, S.hover.y + 0.5, Math.max(r, 0.5), 0, 7); ctx.stroke();
  }
}
function marker(p, colour) {
  const px = 1 / S.zoom;
  ctx.strokeStyle = colour; ctx.lineWidth = 2 * px; ctx.beginPath();
  ctx.arc(p.x + 0.5, p.y + 0.5, 5 * px, 0, 7); ctx.stroke();
}

// ---- editing
function inside(x, y) { return x >= 0 && y >= 0 && x < S.W && y < S.H; }
// An undo step keeps a mask, the hotspot list or both as they were.
function snapshot(layer, list) {
  const e = {};
  if (layer) { e.layer = layer; e.data = S.masks[layer].slice(); }
  if (list) e.list = JSON.parse(JSON.stringify(S.hotspots));
  return e;
}
function pushUndo(layer, list) {
  S.undo.push(snapshot(layer, list));
  if (S.undo.length > 60) S.undo.shift();
  S.redo = [];
}
function beginEdit() { pushUndo(S.layer, false); }
function endEdit(l) { S.dirty[l] = true; stats(); scheduleSync(); redraw(); }
function paintValue() { return S.tool === 'eraser' ? 0 : S.value[S.layer]; }
function stamp(cx, cy) {
  const m = S.masks[S.layer], v = paintValue(), r = S.size / 2, ri = Math.floor(r);
  for (let dy = -ri; dy <= ri; dy++)
    for (let dx = -ri; dx <= ri; dx++) {
      if (S.size > 1 && dx * dx + dy * dy > r * r) continue;
      const x = cx + dx, y = cy + dy;
      if (inside(x, y)) m[y * S.W + x] = v;
    }
  recolour(S.layer, cx - ri, cy - ri, cx + ri, cy + ri);
}
function strokeTo(a, b) {
  const n = Math.max(Math.abs(b.x - a.x), Math.abs(b.y - a.y), 1);
  for (let i = 1; i <= n; i++) stamp(Math.round(a.x + (b.x - a.x) * i / n), Math.round(a.y + (b.y - a.y) * i / n));
}
function fillRect(a, b) {
  const m = S.masks[S.layer], v = paintValue();
  const x0 = Math.max(0, Math.min(a.x, b.x)), x1 = Math.min(S.W - 1, Math.max(a.x, b.x));
  const y0 = Math.max(0, Math.min(a.y, b.y)), y1 = Math.min(S.H - 1, Math.max(a.y, b.y));
  for (let y = y0; y <= y1; y++) m.fill(v, y * S.W + x0, y * S.W + x1 + 1);
  recolour(S.layer, x0, y0, x1, y1);
}
// Fills the pixels whose centres lie inside the polygon (even-odd), and its outline.
function fillPolygon(pts) {
  const m = S.masks[S.layer], v = paintValue();
  let y0 = Infinity, y1 = -Infinity;
  for (const p of pts) { y0 = Math.min(y0, p.y); y1 = Math.max(y1, p.y); }
  y0 = Math.max(0, y0); y1 = Math.min(S.H - 1, y1);
  for (let y = y0; y <= y1; y++) {
    const cy = y + 0.5, xs = [];
    for (let i = 0; i < pts.length; i++) {
      const a = pts[i], b = pts[(i + 1) % pts.length];
      const ay = a.y + 0.5, by = b.y + 0.5;
      if ((ay <= cy) !== (by <= cy)) xs.push(a.x + 0.5 + (cy - ay) * (b.x - a.x) / (by - ay));
    }
    xs.sort((p, q) => p - q);
    for (let i = 0; i + 1 < xs.length; i += 2) {
      const x0 = Math.max(0, Math.ceil(xs[i] - 0.5)), x1 = Math.min(S.W - 1, Math.floor(xs[i + 1] - 0.5));
      if (x1 >= x0) m.fill(v, y * S.W + x0, y * S.W + x1 + 1);
    }
  }
  const size = S.size; S.size = 1;
  for (let i = 0; i < pts.length; i++) strokeTo(pts[i], pts[(i + 1) % pts.length]);
  S.size = size;
  recolour(S.layer, 0, y0, S.W - 1, y1);
}
function closePolygon() {
  const pts = S.poly;
  S.poly = null;
  if (!pts || pts.length < 3) { redraw(); return; }
  beginEdit(); fillPolygon(pts); endEdit(S.layer);
}
function flood(p) {
  const m = S.masks[S.layer], v = paintValue(), from = m[p.y * S.W + p.x];
  if (from === v) return false;
  const stack = [p.y * S.W + p.x];
  while (stack.length) {
    const i = stack.pop();
    if (m[i] !== from) continue;
    m[i] = v;
    const x = i % S.W;
    if (x > 0) stack.push(i - 1);
    if (x < S.W - 1) stack.push(i + 1);
    if (i >= S.W) stack.push(i - S.W);
    if (i + S.W < m.length) stack.push(i + S.W);
  }
  recolour(S.layer, 0, 0, S.W - 1, S.H - 1);
  return true;
}
function swapState(from, to) {
  const e = from.pop();
  if (!e) return;
  to.push(snapshot(e.layer, !!e.list));
  if (e.layer) { S.masks[e.layer].set(e.data); recolour(e.layer, 0, 0, S.W - 1, S.H - 1); S.dirty[e.layer] = true; }
  if (e.list) { S.hotspots = e.list; S.hsDirty = true; buildHotspots(); }
  stats(); scheduleSync(); redraw();
}
function hotspotEdit() { pushUndo(null, true); }

// ---- talking to the engine
let syncTimer = 0, syncing = Promise.resolve();
function scheduleSync() { clearTimeout(syncTimer); syncTimer = setTimeout(() => sync().catch(e => say(e.message, true)), 300); }
function sync() {
  clearTimeout(syncTimer);
  syncing = syncing.then(async () => {
    for (const l of LAYERS) {
      if (!S.dirty[l]) continue;
      S.dirty[l] = false;
      await api('PUT', '/api/mask/' + l, S.masks[l], 'application/octet-stream');
    }
    if (S.hsDirty) {
      S.hsDirty = false;
      await jsend('/api/hotspots', {hotspots: S.hotspots}, 'PUT');
    }
  });
  return syncing;
}
async function previewPath() {
  if (!S.pathFrom || !S.pathTo) return;
  await sync();
  const r = await jsend('/api/path', {from: S.pathFrom, to: S.pathTo, constraint: $('con').value,
                                      reference: +$('conref').value || 0, shown: shown()});
  S.path = r.found ? r.path : null; S.lastPath = r;
  const end = r.found ? r.path[r.path.length - 1] : null;
  const moved = end && (end.x !== S.pathTo.x || end.y !== S.pathTo.y);
  $('pathinfo').textContent = r.found
    ? (moved ? 'The goal cannot be stood on; the walk ends at the nearest point tried. ' : '') +
      'Path: ' + r.path.map(p => '(' + p.x + ',' + p.y + ')').join(' \u2192 ') +
      (r.screen.length ? '; on screen ' + r.screen.map(p => '(' + p.x + ',' + p.y + ')').join(' ') : '')
    : 'No path: the walker cannot get there.';
  redraw();
}
let hoverTimer = 0;
function queryHover(p) {
  clearTimeout(hoverTimer);
  hoverTimer = setTimeout(async () => {
    try {
      await syncing;
      const a = await jget('/api/at?x=' + p.x + '&y=' + p.y);
      S.lastAt = a;
      $('hover').textContent = '(' + p.x + ', ' + p.y + ')  walkability ' + a.walk + '  hotspot ' +
        (a.hotspot === null ? 'null' : '"' + a.hotspot + '"') + '  depth ' + a.depth + '  control ' + a.control;
    } catch (e) { say(e.message, true); }
  }, 40);
}
async function probeFigure(p) {
  await sync();
  const d = await jget('/api/depth?x=' + p.x + '&y=' + p.y + '&' + shownQuery());
  S.lastDepth = d;
  // The chosen view's cel (or a stand-in figure) standing at the point, cut where the depth map
  // is drawn in front of it.
  const cel = S.cel;
  const fw = cel ? cel.w : Math.max(6, Math.round(S.H / 14)), fh = cel ? cel.h : Math.max(12, Math.round(S.H / 5));
  const left = cel ? p.x + cel.left : p.x - (fw >> 1), top = cel ? p.y + cel.top : p.y - fh + 1;
  const c = document.createElement('canvas'); c.width = fw; c.height = fh;
  const id = new ImageData(fw, fh), dd = id.data, hide = new Set(d.hiddenBy), m = S.masks.depth;
  for (let y = 0; y < fh; y++)
    for (let x = 0; x < fw; x++) {
      const rx = left + x, ry = top + y;
      const o = (y * fw + x) * 4;
      if (inside(rx, ry) && hide.has(m[ry * S.W + rx])) continue;
      if (cel) {
        for (let k = 0; k < 4; k++) dd[o + k] = cel.pixels[o + k];
        continue;
      }
      const head = y < fh / 4, body = Math.abs(x - fw / 2) < (head ? fw / 3 : fw / 2);
      if (!body) continue;
      dd[o] = head ? 250 : 235; dd[o + 1] = head ? 205 : 40; dd[o + 2] = head ? 165 : 215; dd[o + 3] = 255;
    }
  c.getContext('2d').putImageData(id, 0, 0);
  S.figure = {canvas: c, left, top, at: p};
  $('depthinfo').textContent = 'Sprite at (' + p.x + ', ' + p.y + '): priority ' + d.priority +
    (d.hiddenBy.length ? ', hidden by depth levels ' + d.hiddenBy.join(', ') : ', in front of every level');
  redraw();
}

// ---- pointer
let spaceDown = false;
view.addEventListener('contextmenu', e => e.preventDefault());
view.addEventListener('pointerdown', e => {
  if (!S.ready) return;
  view.setPointerCapture(e.pointerId);
  const p = toRoom(e);
  if (e.button === 1 || S.tool === 'pan' || spaceDown) { S.drag = {kind: 'pan', x: e.clientX, y: e.clientY}; return; }
  if (e.button !== 0) return;
  const t = S.tool;
  if (t === 'brush' || t === 'eraser') {
    beginEdit(); stamp(p.x, p.y); S.drag = {kind: 'stroke', last: p}; redraw();
  } else if (t === 'rect') {
    S.drag = {kind: 'rect', a: p, b: p}; redraw();
  } else if (t === 'poly') {
    if (!S.poly) S.poly = [];
    const first = S.poly[0];
    if (S.poly.length >= 3 && Math.abs(first.x - p.x) * S.zoom <= 6 && Math.abs(first.y - p.y) * S.zoom <= 6) closePolygon();
    else { S.poly.push(p); redraw(); }
  } else if (t === 'fill') {
    if (!inside(p.x, p.y)) return;
    beginEdit();
    if (flood(p)) endEdit(S.layer); else S.undo.pop();
  } else if (t === 'picker') {
    if (!inside(p.x, p.y)) return;
    const v = S.masks[S.layer][p.y * S.W + p.x];
    S.value[S.layer] = v; $('value').value = v;
    if (S.layer === 'click') buildHotspots();
  } else if (t === 'path') {
    if (!S.pathFrom || S.pathTo) { S.pathFrom = p; S.pathTo = null; S.path = null; redraw(); }
    else { S.pathTo = p; previewPath().catch(err => say(err.message, true)); }
  } else if (t === 'sprite') {
    S.drag = {kind: 'sprite'}; probeFigure(p).catch(err => say(err.message, true));
  }
});
view.addEventListener('pointermove', e => {
  const p = toRoom(e);
  S.hover = p;
  const d = S.drag;
  if (d && d.kind === 'pan') { S.panX += e.clientX - d.x; S.panY += e.clientY - d.y; d.x = e.clientX; d.y = e.clientY; }
  else if (d && d.kind === 'stroke') { strokeTo(d.last, p); d.last = p; }
  else if (d && d.kind === 'rect') d.b = p;
  else if (d && d.kind === 'sprite') probeFigure(p).catch(err => say(err.message, true));
  if (inside(p.x, p.y)) queryHover(p);
  redraw();
});
view.addEventListener('pointerup', e => {
  const d = S.drag;
  S.drag = null;
  if (!d) return;
  if (d.kind === 'stroke') endEdit(S.layer);
  else if (d.kind === 'rect') { beginEdit(); fillRect(d.a, toRoom(e)); endEdit(S.layer); }
  redraw();
});
view.addEventListener('dblclick', () => { if (S.tool === 'poly') closePolygon(); });
view.addEventListener('wheel', e => {
  e.preventDefault();
  const r = view.getBoundingClientRect();
  zoomAt(e.deltaY < 0 ? 1.25 : 0.8, e.clientX - r.left, e.clientY - r.top);
}, {passive: false});

// ---- panels
function setTool(t) {
  S.tool = t;
  if (t !== 'poly') S.poly = null;
  for (const b of document.querySelectorAll('[data-tool]')) b.classList.toggle('on', b.dataset.tool === t);
  view.style.cursor = t === 'pan' ? 'grab' : 'crosshair';
  redraw();
}
function setLayer(l) {
  S.layer = l;
  $('value').max = MAXV[l]; $('value').value = S.value[l];
  for (const r of document.querySelectorAll('input[name=active]')) r.checked = r.value === l;
  buildHotspots();
}
function buildLayers() {
  const box = $('layers'); box.innerHTML = '';
  const add = (key, label, active) => {
    const row = document.createElement('div'); row.className = 'row';
    const show = document.createElement('input'); show.type = 'checkbox'; show.checked = S.show[key];
    show.id = 'show-' + key; show.title = 'Show';
    show.onchange = () => { S.show[key] = show.checked; redraw(); };
    row.append(show);
    if (active) {
      const r = document.createElement('input'); r.type = 'radio'; r.name = 'active'; r.value = key; r.id = 'layer-' + key;
      r.title = 'Paint on this layer'; r.checked = S.layer === key; r.onchange = () => setLayer(key);
      row.append(r);
    }
    const name = document.createElement('label'); name.textContent = label; name.style.flex = '1';
    name.htmlFor = active ? 'layer-' + key : 'show-' + key;
    row.append(name);
    if (S.alpha[key] !== undefined) {
      const a = document.createElement('input'); a.type = 'range'; a.min = 0; a.max = 100; a.value = S.alpha[key] * 100;
      a.style.width = '60px'; a.title = 'See-through';
      a.oninput = () => { S.alpha[key] = a.value / 100; redraw(); };
      row.append(a);
    }
    const use = document.createElement('span'); use.className = 'note'; use.id = 'use-' + key;
    box.append(row);
    if (active) { const u = document.createElement('div'); u.className = 'note'; u.style.marginLeft = '40px'; u.append(use); box.append(u); }
  };
  add('image', 'Backdrop picture', false);
  for (const l of LAYERS) add(l, LABEL[l], true);
  add('baselines', 'Priority baselines', false);
}
function stats() {
  $('roominfo').textContent = S.file + ': ' + S.W + ' \u00d7 ' + S.H + ' pixels';
  for (const l of LAYERS) {
    const m = S.masks[l], count = new Map();
    let used = 0;
    for (let i = 0; i < m.length; i++) if (m[i]) { used++; count.set(m[i], (count.get(m[i]) || 0) + 1); }
    const el = $('use-' + l);
    if (!el) continue;
    el.textContent = used ? (100 * used / m.length).toFixed(1) + '% painted, values ' +
      [...count.keys()].sort((a, b) => a - b).join(' ') : 'empty';
  }
}
function buildHotspots() {
  const box = $('hotspots'); box.innerHTML = '';
  if (!S.hotspots.length) box.innerHTML = '<div class="note">None yet.</div>';
  S.hotspots.sort((a, b) => a.number - b.number);
  for (const h of S.hotspots) {
    const row = document.createElement('div');
    row.className = 'row hs' + (S.layer === 'click' && S.value.click === h.number ? ' sel' : '');
    const sw = document.createElement('span'); sw.className = 'sw'; sw.style.background = css('click', h.number);
    const num = document.createElement('span'); num.textContent = h.number; num.style.width = '22px';
    const name = document.createElement('input'); name.type = 'text'; name.value = h.name; name.className = 'hsname';
    name.onchange = () => {
      if (!name.value.trim()) { name.value = h.name; return; }
      hotspotEdit(); h.name = name.value.trim(); S.hsDirty = true; scheduleSync();
    };
    const pick = document.createElement('button'); pick.textContent = 'Paint'; pick.title = 'Paint this hotspot on the click layer';
    pick.onclick = () => { S.value.click = h.number; setLayer('click'); if (S.tool !== 'rect' && S.tool !== 'fill') setTool('brush'); };
    const del = document.createElement('button'); del.textContent = '\u00d7'; del.title = 'Delete (its pixels too)';
    del.onclick = () => {
      const m = S.masks.click, painted = m.includes(h.number);
      pushUndo(painted ? 'click' : null, true);
      S.hotspots = S.hotspots.filter(o => o !== h); S.hsDirty = true;
      if (painted) {
        for (let i = 0; i < m.length; i++) if (m[i] === h.number) m[i] = 0;
        recolour('click', 0, 0, S.W - 1, S.H - 1); S.dirty.click = true;
      }
      buildHotspots(); stats(); scheduleSync(); redraw();
    };
    row.append(sw, num, name, pick, del);
    box.append(row);
  }
}
$('hsadd').onclick = () => {
  let n = 1;
  while (S.hotspots.some(h => h.number === n)) n++;
  if (n > 255) { say('All 255 hotspot numbers are in use', true); return; }
  hotspotEdit();
  S.hotspots.push({number: n, name: 'hotspot ' + n}); S.hsDirty = true;
  S.value.click = n; setLayer('click'); scheduleSync();
  const inputs = document.querySelectorAll('.hsname');
  for (const i of inputs) if (i.value === 'hotspot ' + n) { i.focus(); i.select(); }
};
for (const b of document.querySelectorAll('[data-tool]')) b.onclick = () => setTool(b.dataset.tool);
$('size').onchange = () => { S.size = Math.max(1, Math.min(128, +$('size').value || 1)); $('size').value = S.size; };
$('value').onchange = () => {
  S.value[S.layer] = Math.max(0, Math.min(MAXV[S.layer], Math.floor(+$('value').value || 0)));
  $('value').value = S.value[S.layer]; if (S.layer === 'click') buildHotspots();
};
$('undo').onclick = () => swapState(S.undo, S.redo);
$('redo').onclick = () => swapState(S.redo, S.undo);
$('zoomin').onclick = () => zoomAt(1.25, view.width / 2, view.height / 2);
$('zoomout').onclick = () => zoomAt(0.8, view.width / 2, view.height / 2);
$('fit').onclick = fit;
for (const id of ['shownw', 'shownh', 'prioh']) $(id).onchange = async () => {
  await loadRows(); if (S.figure) await probeFigure(S.figure.at); await previewPath(); redraw();
};
for (const id of ['spriteview', 'loop', 'cel']) $(id).onchange = () => loadCel().catch(e => say(e.message, true));
for (const id of ['con', 'conref']) $(id).onchange = () => previewPath().catch(e => say(e.message, true));
async function save() {
  try {
    await sync();
    const r = await jsend('/api/save', {file: $('savename').value, sources: $('sources').checked});
    S.file = r.saved; stats();
    say('Saved ' + r.saved + (r.sources.length ? ' with ' + r.sources.join(', ') : ''));
  } catch (e) { say('Not saved: ' + e.message, true); }
}
$('save').onclick = save;
$('reload').onclick = async () => {
  try { await api('POST', '/api/reload'); await loadAll(); say('Read ' + S.file + ' again'); }
  catch (e) { say(e.message, true); }
};
addEventListener('keydown', e => {
  if (e.key === ' ') spaceDown = true;
  if (e.key === 'Escape') { S.poly = null; redraw(); }
  if (e.target.tagName === 'INPUT' || e.target.tagName === 'SELECT') return;
  const k = e.key.toLowerCase();
  if (e.ctrlKey && k === 'z') { e.preventDefault(); swapState(e.shiftKey ? S.redo : S.undo, e.shiftKey ? S.undo : S.redo); return; }
  if (e.ctrlKey && k === 'y') { e.preventDefault(); swapState(S.redo, S.undo); return; }
  if (e.ctrlKey && k === 's') { e.preventDefault(); save(); return; }
  if (e.ctrlKey || e.altKey) return;
  const tools = {b: 'brush', e: 'eraser', r: 'rect', g: 'poly', f: 'fill', i: 'picker', p: 'path', s: 'sprite', h: 'pan'};
  if (tools[k]) setTool(tools[k]);
  else if (k === '+' || k === '=') zoomAt(1.25, view.width / 2, view.height / 2);
  else if (k === '-') zoomAt(0.8, view.width / 2, view.height / 2);
  else if (k === '0') fit();
  else if (k === '[') { S.size = Math.max(1, S.size - 1); $('size').value = S.size; redraw(); }
  else if (k === ']') { S.size = Math.min(128, S.size + 1); $('size').value = S.size; redraw(); }
});
addEventListener('keyup', e => { if (e.key === ' ') spaceDown = false; });
addEventListener('resize', resize);

// For scripted use: the client point over the centre of a room pixel.
window.studio = {
  state: S, sync,
  clientPoint(x, y) {
    const r = view.getBoundingClientRect();
    return {x: r.left + S.panX + (x + 0.5) * S.zoom, y: r.top + S.panY + (y + 0.5) * S.zoom};
  }
};
setTool('brush');
resize();
loadAll().then(() => { setLayer('walk'); say('Ready'); }).catch(e => say('Cannot load the room: ' + e.message, true));
</script></body></html>
)PAGE";

}  // namespace

const char* PageHtml() { return kPage; }

}  // namespace studio
