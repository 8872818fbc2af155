// SPDX-License-Identifier: MIT
// The viewer of a QUAX view page: decodes the binary blocks the page writer
// left in the page and draws them with three.js. window.quaxView lets
// scripts (and the browser tests) drive the view: setFrame, setLayer,
// setSurfaceVisible, setView, setPointSize, render.
(function () {
  'use strict';
  var byId = function (id) { return document.getElementById(id); };
  var api = window.quaxView = { ready: false, refined: true, errors: [], firstFrameMs: null,
    message: '', timings: { scriptMs: performance.now() } };
  window.addEventListener('error', function (e) { api.errors.push(String(e.message)); });

  var meta = JSON.parse(byId('quax-meta').textContent);
  var NO_VALUE = 65535;
  var NONE_RGB = [0.55, 0.55, 0.55];
  var LINE_RGB = 0xff00ff;  // the chosen scan line: a colour no palette has
  var SURFACE_COLOURS = ['#1f77b4', '#ff7f0e', '#2ca02c', '#d62728', '#9467bd',
    '#8c564b', '#e377c2', '#7f7f7f', '#bcbd22', '#17becf'];
  var VIRIDIS = [[0.267, 0.005, 0.329], [0.283, 0.141, 0.458], [0.254, 0.265, 0.530],
    [0.207, 0.372, 0.553], [0.164, 0.471, 0.558], [0.128, 0.567, 0.551],
    [0.135, 0.659, 0.518], [0.267, 0.749, 0.441], [0.478, 0.821, 0.318],
    [0.741, 0.873, 0.150], [0.993, 0.906, 0.144]];
  var COOLWARM = [[0.230, 0.299, 0.754], [0.552, 0.690, 0.996], [0.865, 0.865, 0.865],
    [0.958, 0.604, 0.482], [0.706, 0.016, 0.150]];

  function hexRgb(hex) {
    var v = parseInt(hex.slice(1), 16);
    return [(v >> 16) / 255, ((v >> 8) & 255) / 255, (v & 255) / 255];
  }
  var SURFACE_RGB = SURFACE_COLOURS.map(hexRgb);

  function ramp(stops, t) {
    var x = Math.min(1, Math.max(0, t)) * (stops.length - 1);
    var i = Math.min(stops.length - 2, Math.floor(x)), f = x - i;
    var a = stops[i], b = stops[i + 1];
    return [a[0] + (b[0] - a[0]) * f, a[1] + (b[1] - a[1]) * f, a[2] + (b[2] - a[2]) * f];
  }

  // The colour of a value on the page's scale.
  function colourOf(v) {
    if (isNaN(v)) return NONE_RGB;
    var low = meta.range[0], high = meta.range[1];
    var t = high > low ? (v - low) / (high - low) : 0.5;
    switch (meta.palette) {
      case 'category': return SURFACE_RGB[Math.round(v) % SURFACE_RGB.length];
      case 'diverging': return ramp(COOLWARM, t);
      case 'gray': var g = 0.15 + 0.85 * Math.min(1, Math.max(0, t)); return [g, g, g];
      default: return ramp(VIRIDIS, t);
    }
  }

  function decode(id) {
    var text = byId(id).textContent;
    if (Uint8Array.fromBase64) return Uint8Array.fromBase64(text);
    var binary = atob(text);
    var bytes = new Uint8Array(binary.length);
    for (var i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }

  function formatNumber(v) {
    if (!isFinite(v)) return String(v);
    var a = Math.abs(v);
    if (a !== 0 && (a < 1e-3 || a >= 1e5)) return v.toExponential(2);
    return String(Number(v.toPrecision(4)));
  }
  function withCommas(n) { return String(n).replace(/\B(?=(\d{3})+(?!\d))/g, ','); }

  // ---- the data ------------------------------------------------------------
  var STEPS = 16777215;
  var centre = [0, 1, 2].map(function (a) { return meta.low[a] + meta.scale[a] * STEPS / 2; });

  // The colour of every 16-bit value code as 8-bit RGB, NO_VALUE included:
  // a point's colour is then a look-up, and colours travel to WebGL as
  // normalised bytes, four a point (RGB and one unused, which keeps every
  // point's colour on a 4-byte boundary).
  var colourCodes = null;
  function colourTable() {
    if (colourCodes) return colourCodes;
    colourCodes = new Uint8Array(3 * 65536);
    for (var q = 0; q < 65536; ++q) {
      var c = colourOf(q === NO_VALUE ? NaN : meta.valueLow + q * meta.valueStep);
      for (var k = 0; k < 3; ++k) colourCodes[3 * q + k] = Math.round(255 * c[k]);
    }
    return colourCodes;
  }

  function loadLayer(index, info) {
    var n = info.shown;
    var pos = decode('quax-positions-' + index);
    var codes = new Uint16Array(decode('quax-values-' + index).buffer);
    var frameStarts = new Uint32Array(decode('quax-frames-' + index).buffer);
    var positions = new Float32Array(3 * n), colours = new Uint8Array(4 * n);
    var table = colourTable();
    for (var i = 0; i < n; ++i) {
      for (var a = 0; a < 3; ++a) {
        var b = 9 * i + 3 * a;
        var q = pos[b] | (pos[b + 1] << 8) | (pos[b + 2] << 16);
        positions[3 * i + a] = meta.low[a] + q * meta.scale[a] - centre[a];
      }
      var t = 3 * codes[i];
      colours[4 * i] = table[t]; colours[4 * i + 1] = table[t + 1];
      colours[4 * i + 2] = table[t + 2];
    }
    return { info: info, positions: positions, codes: codes, colours: colours,
      frameStarts: frameStarts, group: null, clouds: [] };
  }

  // ---- the panel -----------------------------------------------------------
  byId('quax-title').textContent = meta.title;
  byId('quax-legend-label').textContent = meta.legend;

  function showMessage(text) {
    api.message = text;
    var box = byId('quax-message');
    box.textContent = text;
    box.hidden = false;
    ['quax-colour-box', 'quax-surface-box', 'quax-display-box', 'quax-line-box', 'quax-help']
      .forEach(function (id) { byId(id).hidden = true; });
  }

  if (meta.message) {
    showMessage(meta.message);
    byId('quax-counts').textContent = '';
    api.ready = true;
    return;
  }

  var layers = meta.layers.map(function (info, i) { return loadLayer(i, info); });
  api.timings.decodedMs = performance.now();
  var current = 0;

  (function counts() {
    var parts = [], thinned = [];
    layers.forEach(function (layer) {
      var info = layer.info;
      parts.push((layers.length > 1 ? info.name + ': ' : '') + withCommas(info.points) +
        ' points, ' + info.surfaces.length + ' surfaces, ' + info.frames + ' frames');
      if (info.shown < info.points) {
        thinned.push((layers.length > 1 ? info.name + ': ' : '') + 'showing ' +
          withCommas(info.shown) + ' of ' + withCommas(info.points) + ' points (one in ' +
          formatNumber(info.points / info.shown) + ')');
      }
    });
    byId('quax-counts').textContent = parts.join('; ');
    if (thinned.length) {
      var note = byId('quax-thinned');
      note.textContent = 'Thinned evenly to at most ' + withCommas(meta.maxPoints) +
        ' points: ' + thinned.join('; ') + '.';
      note.hidden = false;
    }
  })();

  (function colourBar() {
    var bar = byId('quax-colourbar');
    if (meta.palette === 'category') {
      byId('quax-colourbar').hidden = true;
      byId('quax-colourbar-ticks').hidden = true;
      return;
    }
    var g = bar.getContext('2d');
    for (var x = 0; x < bar.width; ++x) {
      var c = colourOf(meta.range[0] + (meta.range[1] - meta.range[0]) * x / (bar.width - 1));
      g.fillStyle = 'rgb(' + Math.round(255 * c[0]) + ',' + Math.round(255 * c[1]) + ',' +
        Math.round(255 * c[2]) + ')';
      g.fillRect(x, 0, 1, bar.height);
    }
    var ticks = byId('quax-colourbar-ticks').children;
    ticks[0].textContent = formatNumber(meta.range[0]);
    ticks[1].textContent = formatNumber((meta.range[0] + meta.range[1]) / 2);
    ticks[2].textContent = formatNumber(meta.range[1]);
    var none = layers.some(function (l) {
      for (var i = 0; i < l.codes.length; ++i) if (l.codes[i] === NO_VALUE) return true;
      return false;
    });
    byId('quax-novalue').hidden = !none;
  })();

  // ---- the scene -----------------------------------------------------------
  var stage = byId('quax-stage');
  var renderer;
  try {
    renderer = new THREE.WebGLRenderer({ antialias: false, preserveDrawingBuffer: true });
  } catch (e) {
    showMessage('This browser cannot draw WebGL, which the view needs (' + e.message + ').');
    api.ready = true;
    return;
  }
  renderer.setPixelRatio(window.devicePixelRatio || 1);
  renderer.setClearColor(0x1e2228);
  stage.insertBefore(renderer.domElement, stage.firstChild);
  renderer.domElement.id = 'quax-canvas';

  var scene = new THREE.Scene();
  var vertexColours = THREE.VertexColors !== undefined ? THREE.VertexColors : true;
  var pointSize = 2;
  var material = new THREE.PointsMaterial({ size: pointSize, sizeAttenuation: false,
    vertexColors: vertexColours });

  function pointCloud(positions, colours) {
    var geometry = new THREE.BufferGeometry();
    geometry.setAttribute('position', new THREE.BufferAttribute(positions, 3));
    geometry.setAttribute('color', new THREE.InterleavedBufferAttribute(
      new THREE.InterleavedBuffer(colours, 4), 3, 0, true));
    var cloud = new THREE.Points(geometry, material);
    cloud.frustumCulled = false;
    return cloud;
  }

  // Points first to end of a layer in two clouds: every step-th one, drawn
  // in the first frame, and the others, drawn from the next one on.
  function splitCloud(layer, first, end, step) {
    var n = end - first, m = Math.ceil(n / step);
    var p = layer.positions, c = layer.colours;
    var parts = [[new Float32Array(3 * m), new Uint8Array(4 * m)],
      [new Float32Array(3 * (n - m)), new Uint8Array(4 * (n - m))]];
    var at = [0, 0];
    for (var i = first; i < end; ++i) {
      var k = (i - first) % step === 0 ? 0 : 1, j = at[k]++;
      var to = parts[k];
      to[0][3 * j] = p[3 * i]; to[0][3 * j + 1] = p[3 * i + 1]; to[0][3 * j + 2] = p[3 * i + 2];
      to[1][4 * j] = c[4 * i]; to[1][4 * j + 1] = c[4 * i + 1]; to[1][4 * j + 2] = c[4 * i + 2];
    }
    return parts.map(function (part) { return pointCloud(part[0], part[1]); });
  }

  // Each surface is a group of its clouds, switched on and off as one. A
  // layer with more points than the first frame takes keeps its thinned
  // rest hidden until the page refines.
  var firstFramePoints = meta.firstFramePoints || 0;
  layers.forEach(function (layer) {
    var shown = layer.info.shown;
    var step = firstFramePoints > 0 && shown > firstFramePoints ?
      Math.ceil(shown / firstFramePoints) : 1;
    layer.group = new THREE.Group();
    layer.rest = [];
    layer.info.surfaces.forEach(function (range) {
      var first = layer.frameStarts[range[0]], end = layer.frameStarts[range[1]];
      var surface = new THREE.Group();
      if (step === 1) {
        surface.add(pointCloud(layer.positions.subarray(3 * first, 3 * end),
          layer.colours.subarray(4 * first, 4 * end)));
      } else {
        var parts = splitCloud(layer, first, end, step);
        parts[1].visible = false;
        layer.rest.push(parts[1]);
        surface.add(parts[0]);
        surface.add(parts[1]);
      }
      layer.clouds.push(surface);
      layer.group.add(surface);
    });
    layer.group.visible = false;
    scene.add(layer.group);
  });

  // The chosen scan line, drawn over everything.
  var lineGeometry = new THREE.BufferGeometry();
  lineGeometry.setAttribute('position', new THREE.BufferAttribute(new Float32Array(3), 3));
  var linePoints = new THREE.Points(lineGeometry, new THREE.PointsMaterial({
    color: LINE_RGB, size: pointSize + 3, sizeAttenuation: false, depthTest: false }));
  var lineStrip = new THREE.Line(lineGeometry, new THREE.LineBasicMaterial({
    color: LINE_RGB, depthTest: false }));
  linePoints.renderOrder = lineStrip.renderOrder = 1;
  linePoints.frustumCulled = lineStrip.frustumCulled = false;
  scene.add(lineStrip);
  scene.add(linePoints);

  // The view's size: the box of the points, centred on the origin.
  var radius = 0;
  layers.forEach(function (layer) {
    var p = layer.positions;
    for (var i = 0; i < p.length; i += 3) {
      radius = Math.max(radius, p[i] * p[i] + p[i + 1] * p[i + 1] + p[i + 2] * p[i + 2]);
    }
  });
  radius = Math.max(Math.sqrt(radius), 1e-6);
  var camera = new THREE.PerspectiveCamera(40, 1, radius / 1000, radius * 100);
  camera.up.set(0, 0, 1);
  var controls = new THREE.OrbitControls(camera, renderer.domElement);
  controls.screenSpacePanning = true;
  controls.addEventListener('change', render);

  function setView(name) {
    var fit = 1.08 * radius / Math.sin(camera.fov * Math.PI / 360) /
      Math.min(1, camera.aspect);
    var direction = name === 'top' ? [0, -1e-4, 1] : name === 'side' ? [0, -1, 0] : [0.9, -1.3, 0.9];
    var d = new THREE.Vector3(direction[0], direction[1], direction[2]).normalize();
    controls.target.set(0, 0, 0);
    camera.position.copy(d.multiplyScalar(fit));
    camera.lookAt(0, 0, 0);
    controls.update();
    render();
  }
  api.setView = setView;
  Array.prototype.forEach.call(document.querySelectorAll('[data-view]'), function (b) {
    b.addEventListener('click', function () { setView(b.getAttribute('data-view')); });
  });

  function resize() {
    var w = Math.max(1, stage.clientWidth), h = Math.max(1, stage.clientHeight);
    renderer.setSize(w, h);
    camera.aspect = w / h;
    camera.updateProjectionMatrix();
    render();
  }
  window.addEventListener('resize', resize);

  // Nothing is drawn while the page sets itself up: the first frame is drawn
  // once, with the camera, the line and the layer in place.
  var started = false;
  function render() { if (started) renderer.render(scene, camera); }
  api.render = render;
  api.canvas = renderer.domElement;

  // ---- point size, surfaces, layers ----------------------------------------
  function setPointSize(px) {
    pointSize = px;
    material.size = px;
    linePoints.material.size = px + 3;
    byId('quax-point-size').value = String(px);
    byId('quax-point-size-label').textContent = px + ' px';
    render();
  }
  api.setPointSize = setPointSize;
  byId('quax-point-size').addEventListener('input', function (e) {
    setPointSize(Number(e.target.value));
  });

  function setSurfaceVisible(s, on) {
    var cloud = layers[current].clouds[s];
    if (!cloud) return;
    cloud.visible = on;
    var box = byId('quax-surface-' + s);
    if (box) box.checked = on;
    render();
  }
  api.setSurfaceVisible = setSurfaceVisible;

  function surfaceList() {
    var layer = layers[current], list = byId('quax-surfaces');
    list.textContent = '';
    layer.info.surfaces.forEach(function (range, s) {
      var points = layer.frameStarts[range[1]] - layer.frameStarts[range[0]];
      var label = document.createElement('label');
      var box = document.createElement('input');
      box.type = 'checkbox';
      box.id = 'quax-surface-' + s;
      box.checked = layer.clouds[s].visible;
      box.addEventListener('change', function () { setSurfaceVisible(s, box.checked); });
      label.appendChild(box);
      if (meta.palette === 'category') {
        var swatch = document.createElement('span');
        swatch.className = 'quax-swatch';
        swatch.style.background = SURFACE_COLOURS[s % SURFACE_COLOURS.length];
        label.appendChild(swatch);
      }
      label.appendChild(document.createTextNode('surface ' + s + ' (' +
        (range[1] - range[0]) + ' frames, ' + withCommas(points) + ' points shown)'));
      list.appendChild(label);
    });
  }

  function setLayer(i) {
    current = Math.max(0, Math.min(layers.length - 1, i));
    layers.forEach(function (layer, k) { layer.group.visible = k === current; });
    var radio = byId('quax-layer-' + current);
    if (radio) radio.checked = true;
    surfaceList();
    var slider = byId('quax-frame');
    slider.max = String(Math.max(0, layers[current].info.frames - 1));
    setFrame(Math.min(Number(slider.value), Number(slider.max)));
  }
  api.setLayer = setLayer;
  if (layers.length > 1) {
    byId('quax-layer-box').hidden = false;
    layers.forEach(function (layer, i) {
      var label = document.createElement('label');
      var radio = document.createElement('input');
      radio.type = 'radio';
      radio.name = 'quax-layer';
      radio.id = 'quax-layer-' + i;
      radio.addEventListener('change', function () { setLayer(i); });
      label.appendChild(radio);
      label.appendChild(document.createTextNode(' ' + layer.info.name));
      byId('quax-layers').appendChild(label);
    });
  }

  // ---- the scan line and its profile ---------------------------------------
  function frameRange(k) {
    var layer = layers[current];
    return [layer.frameStarts[k], layer.frameStarts[k + 1]];
  }

  function setFrame(k) {
    var layer = layers[current];
    k = Math.max(0, Math.min(layer.info.frames - 1, Math.round(k)));
    var slider = byId('quax-frame');
    slider.value = String(k);
    var range = frameRange(k), first = range[0], end = range[1];
    var s = 0;
    while (s + 1 < layer.info.surfaces.length && k >= layer.info.surfaces[s][1]) ++s;
    var frame = k - layer.info.surfaces[s][0];
    byId('quax-frame-label').textContent = 'surface ' + s + ', frame ' + frame + ': ' +
      (end - first) + ' points shown';
    var slice = layer.positions.slice(3 * first, 3 * Math.max(end, first + 1));
    lineGeometry.setAttribute('position', new THREE.BufferAttribute(slice, 3));
    lineGeometry.setDrawRange(0, end - first);
    drawProfile(layer, first, end);
    api.frame = k;
    render();
  }
  api.setFrame = setFrame;
  byId('quax-frame').addEventListener('input', function (e) { setFrame(Number(e.target.value)); });

  // The line's points across (along its direction in x-y, from its first
  // point) against height z.
  function drawProfile(layer, first, end) {
    var canvas = byId('quax-profile'), g = canvas.getContext('2d');
    var w = canvas.width, h = canvas.height, pad = 30;
    g.clearRect(0, 0, w, h);
    g.fillStyle = '#555';
    g.font = '11px sans-serif';
    if (end <= first) { g.fillText('no points on this scan line', pad, h / 2); return; }
    var p = layer.positions, dx = p[3 * (end - 1)] - p[3 * first],
      dy = p[3 * (end - 1) + 1] - p[3 * first + 1], length = Math.hypot(dx, dy);
    if (length < 1e-12) { dx = 1; dy = 0; length = 1; }
    dx /= length; dy /= length;
    var u = [], z = [], uMin = Infinity, uMax = -Infinity, zMin = Infinity, zMax = -Infinity;
    for (var i = first; i < end; ++i) {
      var ui = (p[3 * i] - p[3 * first]) * dx + (p[3 * i + 1] - p[3 * first + 1]) * dy;
      var zi = p[3 * i + 2] + centre[2];
      u.push(ui); z.push(zi);
      uMin = Math.min(uMin, ui); uMax = Math.max(uMax, ui);
      zMin = Math.min(zMin, zi); zMax = Math.max(zMax, zi);
    }
    if (uMax - uMin < 1e-12) { uMin -= 0.5; uMax += 0.5; }
    if (zMax - zMin < 1e-12) { zMin -= 0.5; zMax += 0.5; }
    var X = function (v) { return pad + (v - uMin) / (uMax - uMin) * (w - pad - 8); };
    var Y = function (v) { return h - pad + 8 - (v - zMin) / (zMax - zMin) * (h - pad - 8 - 8); };
    g.strokeStyle = '#999';
    g.strokeRect(pad, 8, w - pad - 8, h - pad - 8 - 8 + 8);
    g.beginPath();
    for (var k = 0; k < u.length; ++k) {
      if (k === 0) g.moveTo(X(u[k]), Y(z[k])); else g.lineTo(X(u[k]), Y(z[k]));
    }
    g.strokeStyle = '#bbb';
    g.stroke();
    for (var m = 0; m < u.length; ++m) {
      var c = layer.colours, j = 4 * (first + m);
      g.fillStyle = 'rgb(' + c[j] + ',' + c[j + 1] + ',' + c[j + 2] + ')';
      g.fillRect(X(u[m]) - 1.5, Y(z[m]) - 1.5, 3, 3);
    }
    g.fillStyle = '#333';
    g.fillText(formatNumber(zMax), 2, 14);
    g.fillText(formatNumber(zMin), 2, h - pad + 8);
    g.fillText('z', 2, h / 2);
    g.fillText(formatNumber(uMin), pad, h - 8);
    var right = formatNumber(uMax);
    g.fillText(right, w - 8 - g.measureText(right).width, h - 8);
    g.fillText('across the line', w / 2 - 35, h - 8);
  }

  // ---- start ----------------------------------------------------------------
  controls.target.set(0, 0, 0);
  resize();
  setLayer(0);
  setFrame(Math.floor(layers[0].info.frames / 2));
  setView('reset');
  api.timings.sceneMs = performance.now();
  started = true;
  render();
  // A frame counts as drawn when its pixels can be read back.
  var gl = renderer.getContext(), pixel = new Uint8Array(4);
  function readBack(mark) {
    gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel);
    api.timings[mark] = performance.now();
    document.body.setAttribute('data-timings', JSON.stringify(api.timings));
  }
  readBack('drawnMs');
  api.firstFrameMs = api.timings.drawnMs;
  document.body.setAttribute('data-first-frame-ms', String(Math.round(api.firstFrameMs)));

  // The rest of a thinned first frame: on the next animation frame, or after
  // a moment where the browser draws none (a page opened in a background tab).
  var rest = layers.reduce(function (all, layer) { return all.concat(layer.rest); }, []);
  function refine() {
    if (api.refined) return;
    rest.forEach(function (cloud) { cloud.visible = true; });
    api.refined = true;
    byId('quax-refining').hidden = true;
    render();
    readBack('refinedMs');
  }
  api.refined = rest.length === 0;
  if (!api.refined) {
    var firstShown = layers[0].clouds.reduce(function (sum, surface) {
      return sum + surface.children[0].geometry.attributes.position.count;
    }, 0);
    var note = byId('quax-refining');
    note.textContent = 'First drawn: ' + withCommas(firstShown) + ' of ' +
      withCommas(layers[0].info.shown) + ' points, evenly; drawing the rest.';
    note.hidden = false;
    requestAnimationFrame(refine);
    setTimeout(refine, 100);
  }
  api.ready = true;
})();
