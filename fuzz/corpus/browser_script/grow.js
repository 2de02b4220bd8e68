var a = []; for (var i = 0; i < 1000; i++) a.push('x' + i + a.length);
var s = a.join(); try { s = s.replace(/x(\d+)/g, '$1$1'); } catch (e) { s = null; }
setInterval('void 0', 10);
