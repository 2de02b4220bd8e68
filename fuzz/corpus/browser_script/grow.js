var s = 'xxxxxxxx'; try { while (true) s += s; } catch (e) { s = null; }
setInterval('void 0', 1);
