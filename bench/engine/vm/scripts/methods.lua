local obj = {x = 0}
obj.add = function(self, d)
  self.x = self.x + d
end
for i = 1, 8000000 do
  obj:add(1)
end
return obj.x
