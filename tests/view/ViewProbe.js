// SPDX-License-Identifier: MIT
// Added to a view page by ViewBrowserTest: drives the view through
// window.quaxView and prints "key=value" pairs into #result. Colours are
// matched with a margin: the points' own colours (the page draws without
// light) and the chosen line's magenta; boxes are relative to the whole
// drawing's box (0 left or top, 1 right or bottom). A page that draws a
// thinned first frame is looked at once it has drawn the rest (waiting at
// most 10 s for that).
(function () {
  var out = [], put = function (k, v) { out.push(k + '=' + v); };
  var v = window.quaxView;
  var near = function (d, p, rgb) {
    return Math.abs(d[p] - rgb[0]) < 30 && Math.abs(d[p + 1] - rgb[1]) < 30 &&
      Math.abs(d[p + 2] - rgb[2]) < 30;
  };
  var kinds = { blue: [31, 119, 180], orange: [255, 127, 14], line: [255, 0, 255] };
  var look = function (tag) {
    v.render();
    var c = v.canvas, copy = document.createElement('canvas');
    copy.width = c.width; copy.height = c.height;
    var g = copy.getContext('2d');
    g.drawImage(c, 0, 0);
    var d = g.getImageData(0, 0, c.width, c.height).data;
    var box = { all: [1e9, 1e9, -1, -1, 0, 0, 0] };
    Object.keys(kinds).forEach(function (k) { box[k] = [1e9, 1e9, -1, -1, 0, 0, 0]; });
    for (var y = 0; y < c.height; ++y) {
      for (var x = 0; x < c.width; ++x) {
        var p = 4 * (y * c.width + x), hit = [];
        if (!near(d, p, [30, 34, 40])) hit.push('all');
        Object.keys(kinds).forEach(function (k) { if (near(d, p, kinds[k])) hit.push(k); });
        hit.forEach(function (k) {
          var b = box[k];
          b[0] = Math.min(b[0], x); b[1] = Math.min(b[1], y);
          b[2] = Math.max(b[2], x); b[3] = Math.max(b[3], y);
          b[4]++; b[5] += x; b[6] += y;
        });
      }
    }
    Object.keys(box).forEach(function (k) {
      var b = box[k];
      put(tag + '.' + k + '.count', b[4]);
      if (b[4] === 0) return;
      // Relative to the whole drawing's box: 0 left/top, 1 right/bottom.
      var a = box.all, w = Math.max(1, a[2] - a[0]), h = Math.max(1, a[3] - a[1]);
      put(tag + '.' + k + '.left', ((b[0] - a[0]) / w).toFixed(3));
      put(tag + '.' + k + '.right', ((b[2] - a[0]) / w).toFixed(3));
      put(tag + '.' + k + '.top', ((b[1] - a[1]) / h).toFixed(3));
      put(tag + '.' + k + '.bottom', ((b[3] - a[1]) / h).toFixed(3));
      put(tag + '.' + k + '.cy', ((b[6] / b[4] - a[1]) / h).toFixed(3));
    });
    put(tag + '.aspect', ((box.all[2] - box.all[0]) / Math.max(1, box.all[3] - box.all[1])).toFixed(3));
  };
  var profile = function (tag) {
    var c = document.getElementById('quax-profile');
    var d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data, n = 0;
    for (var p = 0; p < d.length; p += 4) if (near(d, p, kinds.blue)) ++n;
    put(tag + '.profile', n);
    put(tag + '.label', document.getElementById('quax-frame-label').textContent.replace(/ /g, '_'));
  };
  var drive = function () {
    put('refined', v.refined ? 1 : 0);
    put('ready', v.ready ? 1 : 0);
    put('message', v.message && !document.getElementById('quax-message').hidden ? 1 : 0);
    if (!v.canvas) return;
    var note = document.getElementById('quax-refining');
    put('note', note.hidden ? 'hidden' : 'shown');
    put('noteText', note.textContent.replace(/ /g, '_') || 'none');
    put('refinedLater', v.timings.refinedMs >= v.timings.drawnMs ? 1 : 0);
    v.setPointSize(3);
    v.setView('top');
    v.setFrame(5);
    look('low');
    profile('low');
    v.setFrame(35);
    look('high');
    v.setSurfaceVisible(1, false);
    look('off');
    put('first', v.firstFrameMs > 0 ? 1 : 0);
  };
  var finish = function () {
    try {
      drive();
    } catch (e) {
      window.__errors.push('probe: ' + e.message);
    }
    put('errors', JSON.stringify(window.__errors.concat(v ? v.errors : [])));
    document.getElementById('result').textContent = out.join(' ');
  };
  var waited = 0;
  (function wait() {
    if (v && !v.refined && waited++ < 200) { setTimeout(wait, 50); return; }
    finish();
  })();
})();
