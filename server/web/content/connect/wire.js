// The signalling line exactly as the program writes it: a JSON object of
// eight string members in a fixed order, escaped down to 7-bit ASCII, so that
// a host cannot tell this page from a program viewer.

const SHORT_ESCAPES = { 8: "\\b", 9: "\\t", 10: "\\n", 12: "\\f", 13: "\\r", 34: '\\"', 47: "\\/", 92: "\\\\" };

// One JSON string literal; every UTF-16 code unit above 127 (each half of a
// surrogate pair on its own) and below 32 becomes \u with upper-case hex.
export function jsonString(text) {
  let out = '"';
  for (let i = 0; i < text.length; i++) {
    const unit = text.charCodeAt(i);
    if (SHORT_ESCAPES[unit]) out += SHORT_ESCAPES[unit];
    else if (unit < 32 || unit > 127) out += "\\u" + unit.toString(16).toUpperCase().padStart(4, "0");
    else out += text[i];
  }
  return out + '"';
}

// A JSON object from [name, value] pairs in this order; numbers stay numbers
// (the candidate's "label" is the protocol's only one).
export function jsonObject(pairs) {
  return "{" + pairs.map(([name, value]) =>
    jsonString(name) + ":" + (typeof value === "number" ? String(value) : jsonString(String(value ?? "")))
  ).join(",") + "}";
}

export const VERSION = "42";

export function envelope({ msg, from = "", to = "", type = "", payload = "", password = "", username = "", version = "" }) {
  return jsonObject([["msg", msg], ["from", from], ["to", to], ["type", type], ["payload", payload],
    ["password", password], ["username", username], ["version", version]]);
}

// A received line as an object, or null when it is not a JSON object.
export function parseLine(line) {
  try {
    const value = JSON.parse(line);
    return value && typeof value === "object" && !Array.isArray(value) ? value : null;
  } catch {
    return null;
  }
}

// A payload that carries a nested object, or null.
export function parsePayload(text) {
  return typeof text === "string" ? parseLine(text) : null;
}

// The host's screen from its session information: monitors (each with
// left, top, width, height, primary), the desktop's size, the primary index.
// Keys "m" + digit + letter hold the numbers; the value runs to the next "m".
export function readSessionInfo(info) {
  const number = (v) => { const n = parseInt(v, 10); return Number.isFinite(n) ? n : 0; };
  const geometry = {
    desktopLeft: 0, desktopTop: 0,
    desktopWidth: number(info.screen_desktopwidth), desktopHeight: number(info.screen_desktopheight),
    monitors: [], current: 0,
  };
  const count = number(info.screen_monitorcount);
  if (count < 2 || count > 9) return geometry;
  const text = String(info.screen_monitorcoordinates ?? "");
  const read = (i, letter) => {
    const at = text.indexOf("m" + i + letter);
    if (at < 0) return 0;
    const end = text.indexOf("m", at + 3);
    return number(text.substring(at + 3, end < 0 ? text.length : end));
  };
  const primary = number(info.screen_primarymonitor);
  geometry.desktopLeft = number(info.screen_desktopleft);
  geometry.desktopTop = number(info.screen_desktoptop);
  for (let i = 0; i < count; i++) {
    geometry.monitors.push({ left: read(i, "l"), top: read(i, "t"), width: read(i, "w"), height: read(i, "h"),
      primary: i === primary });
  }
  geometry.current = primary < count ? primary : 0;
  return geometry;
}

// Round to the nearest integer, halves to the even one, as the program does.
export function roundHalfEven(value) {
  const floor = Math.floor(value);
  const diff = value - floor;
  if (diff > 0.5) return floor + 1;
  if (diff < 0.5) return floor;
  return floor % 2 === 0 ? floor : floor + 1;
}
