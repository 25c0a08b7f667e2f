// Write-once points of the fill geometry.
#pragma once


class Punto2D {
 public:
  Punto2D() = default;
  Punto2D(double x, double y) { Set(x, y); }
  virtual ~Punto2D() = default;

  // Stores the coordinates once; a second call is refused and changes nothing.
  bool Set(double x, double y);
  double x() const { return x_; }
  double y() const { return y_; }
  double X() const { return x_; }
  double Y() const { return y_; }
  double Distance(const Punto2D& other) const;

 private:
  double x_ = 0;
  double y_ = 0;
  bool set_ = false;
};

class Punto3D {
 public:
  Punto3D() = default;
  virtual ~Punto3D() = default;

  bool Set(double x, double y, double z);
  double x() const { return x_; }
  double y() const { return y_; }
  double z() const { return z_; }

 private:
  double x_ = 0;
  double y_ = 0;
  double z_ = 0;
  bool set_ = false;
};
