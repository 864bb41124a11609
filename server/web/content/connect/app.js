// The web viewer's page: the connect form, the status and notices in the
// browser's language, the host's picture and the input that goes back.
import { LANGUAGES, TEXTS } from "./texts.js";
import { BUTTON_DOWN, BUTTON_UP, cursorForCode, keyDownToken, wheelToken } from "./input.js";
import { browserDeviceId, SignallingLink, ViewerSession } from "./session.js";
import { fit, mapPoint, regionOf } from "./view.js";

const $ = (id) => document.getElementById(id);
const params = new URLSearchParams(location.search);

// The first of the browser's languages that the table has; Swedish is "se" there.
const language = (() => {
  for (const tag of navigator.languages ?? [navigator.language]) {
    const primary = String(tag).toLowerCase().split("-")[0];
    const index = LANGUAGES.indexOf(primary === "sv" ? "se" : primary);
    if (index >= 0) return index;
  }
  return 0;
})();
document.documentElement.lang = LANGUAGES[language] === "se" ? "sv" : LANGUAGES[language];

export function translate(key, arg) {
  const text = TEXTS[key]?.[language] || TEXTS[key]?.[0] || key;
  return arg === undefined ? text : text.replace("%s", arg);
}
for (const element of document.querySelectorAll("[data-text]")) element.textContent = translate(element.dataset.text);

const signallingUrl = params.get("signalling") || `wss://${location.hostname}:8997/`;
const deviceId = browserDeviceId(window.localStorage);
const link = new SignallingLink(signallingUrl, deviceId);
let session = null;
let geometry = { monitors: [], current: 0, desktopWidth: 0, desktopHeight: 0, desktopLeft: 0, desktopTop: 0 };
let layout = null;            // where the picture is, from place()
let demonstration = false;   // the host refuses input (view-only)
let needReconnect = false;   // the host announced RECONNECT (its session locked or unlocked)
let lastFrame = 0;           // performance.now() of the last decoded frame
let lastPoint = null;
const pressed = new Map();   // KeyboardEvent.code -> key code sent as down
const typedKeys = new Set(); // KeyboardEvent.code of keys sent as characters

if (params.get("id")) $("host-id").value = params.get("id");
$("name").value = window.localStorage.getItem("corvala.name") ?? "";

function setState(state) { document.body.dataset.state = state; }
function status(key, arg) { $("status").textContent = translate(key, arg); }
function notice(lines) {
  $("notice").textContent = lines.map(([key, arg]) => translate(key, arg)).join("\n\n");
  $("notice").hidden = false;
}

$("connect-form").addEventListener("submit", (e) => {
  e.preventDefault();
  const hostId = $("host-id").value.replace(/\s+/g, "");
  if (!/^[0-9A-Za-z]{1,64}$/.test(hostId)) return notice([["Please enter a valid ID."]]);
  const name = $("name").value.trim();
  window.localStorage.setItem("corvala.name", name);
  $("notice").hidden = true;
  demonstration = false;
  session = new ViewerSession({
    link, hostId, password: $("password").value, name: name || "Web", events: {
      status: (key, arg) => { status(key, arg); if (key === "Connected to %s") setState("connected"); },
      error: (key, arg) => notice(Array.isArray(key) ? key : [[key, arg]]),
      geometry: (g) => { geometry = g; demonstration = false; lastFrame = performance.now(); showMonitors(); },
      track: (stream) => { $("video").srcObject = stream; },
      open: () => {},
      channelMessage: onChannelMessage,
      ended: onEnded,
    },
  });
  $("connect-form").hidden = true;
  $("toolbar").hidden = false;
  $("panel").hidden = false;
  setState("connecting");
  session.start();
});

$("disconnect").addEventListener("click", () => session?.disconnect());

function onEnded(reason) {
  setState(reason === "refused" ? "refused" : "ended");
  if (reason !== "refused") notice([["The session has ended."]]);
  releaseKeys();
  $("video").srcObject = null;
  needReconnect = false;
  $("toolbar").hidden = true;
  $("panel").hidden = true;
  $("connect-form").hidden = false;
  session = null;
}

// What the host sends on the data channels to a viewer.
function onChannelMessage(text) {
  if (text === "DISCONNECT") return session?.end("host");
  if (text === "RECONNECT") {
    needReconnect = true;
    return status("Please wait...");
  }
  if (text === "DEMONSTRATION_ON") demonstration = true;
  else if (text === "DEMONSTRATION_OFF") demonstration = false;
  else if (/^C[0-9]{1,2}$/.test(text)) $("panel").style.cursor = cursorForCode(parseInt(text.slice(1), 10));
}

// ---- the picture -----------------------------------------------------------

function showMonitors() {
  const select = $("monitor");
  select.replaceChildren(...geometry.monitors.map((m, i) => new Option(`${i + 1}: ${m.width} x ${m.height}`, i)));
  select.value = String(geometry.current);
  $("monitor-choice").hidden = geometry.monitors.length < 2;
  place();
}
$("monitor").addEventListener("change", () => { geometry.current = Number($("monitor").value); place(); });

function place() {
  const video = $("video"), panel = $("panel"), picture = $("picture");
  const frameWidth = video.videoWidth, frameHeight = video.videoHeight;
  const region = regionOf(geometry, frameWidth, frameHeight);
  const fitted = fit(region, panel.clientWidth, panel.clientHeight);
  layout = fitted && { ...fitted, region, frameWidth, frameHeight };
  if (!fitted) return;
  Object.assign(picture.style, { left: `${fitted.left}px`, top: `${fitted.top}px`, width: `${fitted.width}px`,
    height: `${fitted.height}px` });
  Object.assign(video.style, { width: `${frameWidth * fitted.scale}px`, height: `${frameHeight * fitted.scale}px`,
    left: `${-region.left * fitted.scale}px`, top: `${-region.top * fitted.scale}px` });
}
$("video").addEventListener("resize", place);
window.addEventListener("resize", place);

// The liveness check, every second: once the picture of a host that
// announced RECONNECT has stalled for more than eight seconds, set the
// session up again, as the program's viewer does.
const STALL_MS = 8000;
function watchFrames() {
  lastFrame = performance.now();
  $("video").requestVideoFrameCallback(watchFrames);
}
$("video").requestVideoFrameCallback(watchFrames);
setInterval(() => {
  if (!session || !needReconnect || performance.now() - lastFrame <= STALL_MS) return;
  needReconnect = false;
  lastFrame = performance.now();
  session.reconnect();
}, 1000);

// ---- input -------------------------------------------------------------------

// Nothing goes to a host that refuses input; a button press says why.
function sendInput(token, explainRefusal = false) {
  if (!session) return;
  if (demonstration) {
    if (explainRefusal) notice([["Remote side is running in the Demonstration mode. It rejects the control commands."]]);
    return;
  }
  session.send(token);
}

function pointOnPicture(e) {
  if (!layout) return null;
  const box = $("picture").getBoundingClientRect();
  const x = Math.floor(e.clientX - box.left), y = Math.floor(e.clientY - box.top);
  if (x < 0 || y < 0 || x >= layout.width || y >= layout.height) return null;
  return mapPoint(geometry, layout.region, layout.frameWidth, layout.frameHeight, layout.width, layout.height, x, y);
}

function sendMove(e) {
  const point = pointOnPicture(e);
  if (!point || (lastPoint && point[0] === lastPoint[0] && point[1] === lastPoint[1])) return;
  if (demonstration) return;
  lastPoint = point;
  sendInput(`x${point[0]}y${point[1]}`);
}

const panel = $("panel");
panel.addEventListener("mousemove", sendMove);
panel.addEventListener("mousedown", (e) => {
  panel.focus();
  e.preventDefault();
  if (!pointOnPicture(e) || !BUTTON_DOWN[e.button]) return;
  sendMove(e);
  sendInput(BUTTON_DOWN[e.button], true);
});
panel.addEventListener("mouseup", (e) => { if (BUTTON_UP[e.button]) sendInput(BUTTON_UP[e.button]); });
panel.addEventListener("contextmenu", (e) => e.preventDefault());
panel.addEventListener("wheel", (e) => {
  e.preventDefault();
  const token = wheelToken(e.deltaY, e.deltaMode);
  if (token) sendInput(token);
}, { passive: false });

panel.addEventListener("keydown", (e) => {
  e.preventDefault();
  const key = keyDownToken(e);
  if (!key) return;
  if (key.typed) {
    typedKeys.add(e.code);
    return sendInput(key.token);
  }
  pressed.set(e.code, key.code);
  sendInput(key.token);
});
panel.addEventListener("keyup", (e) => {
  e.preventDefault();
  if (typedKeys.delete(e.code)) return;
  const code = pressed.get(e.code) ?? e.keyCode;
  pressed.delete(e.code);
  if (code) sendInput("k" + code);
});

// Keys held when the page loses the focus would stay down on the host.
function releaseKeys() {
  for (const code of pressed.values()) sendInput("k" + code);
  pressed.clear();
  typedKeys.clear();
}
window.addEventListener("blur", releaseKeys);

// For tests and diagnostics: what the page knows of its session.
window.corvalaViewer = {
  deviceId,
  get frameSize() { return [$("video").videoWidth, $("video").videoHeight]; },
  get layout() { return layout; },
};
