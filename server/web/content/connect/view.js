// Where the host's picture goes and how a point on it maps back to the
// host's desktop, as in the program's remote view: one monitor cut out of a
// frame of the whole desktop (when the host has several and the frame is the
// desktop), fitted into the panel keeping its aspect, never enlarged, centred.
import { roundHalfEven } from "./wire.js";

export function regionOf(geometry, frameWidth, frameHeight) {
  const monitor = geometry.monitors[geometry.current];
  const cropped = geometry.monitors.length > 1 && monitor &&
    frameWidth === geometry.desktopWidth && frameHeight === geometry.desktopHeight;
  if (!cropped) return { cropped: false, left: 0, top: 0, width: frameWidth, height: frameHeight };
  // The frame starts at the desktop's origin; monitors are in desktop coordinates.
  return { cropped: true, monitor, left: monitor.left - geometry.desktopLeft, top: monitor.top - geometry.desktopTop,
    width: monitor.width, height: monitor.height };
}

export function fit(region, panelWidth, panelHeight) {
  if (region.width <= 0 || region.height <= 0 || panelWidth <= 0 || panelHeight <= 0) return null;
  const scale = Math.min(1, panelWidth / region.width, panelHeight / region.height);
  const width = Math.round(region.width * scale), height = Math.round(region.height * scale);
  return { scale, width, height, left: Math.floor((panelWidth - width) / 2), top: Math.floor((panelHeight - height) / 2) };
}

// A point (x, y) on the shown picture of sceneWidth x sceneHeight pixels, in
// the host's coordinates.
export function mapPoint(geometry, region, frameWidth, frameHeight, sceneWidth, sceneHeight, x, y) {
  if (region.cropped) {
    return [
      sceneWidth ? roundHalfEven(region.monitor.width / sceneWidth * x) + region.monitor.left : 0,
      sceneHeight ? roundHalfEven(region.monitor.height / sceneHeight * y) + region.monitor.top : 0,
    ];
  }
  const w = geometry.desktopWidth > 0 ? geometry.desktopWidth : frameWidth;
  const h = geometry.desktopHeight > 0 ? geometry.desktopHeight : frameHeight;
  return [sceneWidth ? roundHalfEven(w / sceneWidth * x) : 0, sceneHeight ? roundHalfEven(h / sceneHeight * y) : 0];
}
